// Lists the end-to-end table for scripts that run the Linux program
// themselves (scripts/memcheck.sh), so that they run the same cases as the
// tests. Each case is a record of NUL-terminated fields:
//   name, exit code, N, N environment entries, then "1" and the argument,
//   or "0" when the Linux program gets no argument.
// The simulated card's settings are those of the bare driver.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/end_to_end_cases.h"

namespace {

void Field(const std::string& text) {
  std::fwrite(text.c_str(), 1, text.size() + 1, stdout);
}

}  // namespace

int main() {
  for (const e2e::Case& c : e2e::Cases()) {
    Field(c.name);
    Field(std::to_string(c.exitCode));
    const std::vector<std::string> env = e2e::CardEnv(c);
    Field(std::to_string(env.size()));
    for (const std::string& entry : env) {
      Field(entry);
    }
    Field(c.argument ? "1" : "0");
    if (c.argument) {
      Field(*c.argument);
    }
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
