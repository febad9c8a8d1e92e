// Entry point on Linux: the shell has already split and unquoted the command
// line, so the first argument is argv[1], cut to the longest token the
// command-line splitter would give.
#include <string.h>  // NOLINT(modernize-deprecated-headers): POSIX's strnlen

#include <optional>
#include <string_view>

#include "app/command_line.h"
#include "app/frequency_command.h"

int main(int argc, char** argv) {
  std::optional<std::string_view> argument;
  if (argc > 1) {
    argument = std::string_view(argv[1], strnlen(argv[1], command_line::MaxTokenLength));
  }
  return app::RunProgram(argument);
}
