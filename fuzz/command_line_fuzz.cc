// The command-line splitter on arbitrary bytes: no token is longer than 4096
// characters, reading stops at the terminating zero, and the argument count
// agrees with the arguments that CommandLineArg gives.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The line as Windows hands it over: zero-terminated, in a buffer that ends
  // right there, so that any read past the zero is caught.
  std::vector<char> buffer(data, data + size);
  buffer.push_back('\0');
  const std::string_view line(buffer.data());

  std::vector<std::string> tokens;
  size_t position = 0;
  for (;;) {
    const command_line::Token token = command_line::NextCommandLineToken(line, position);
    FUZZ_CHECK(token.text.size() <= command_line::MaxTokenLength);
    FUZZ_CHECK(token.next >= position && token.next <= line.size());
    FUZZ_CHECK(token.text.find('\0') == std::string::npos);
    if (token.text.empty()) {
      FUZZ_CHECK(token.next == line.size());  // only the end gives an empty token
      break;
    }
    FUZZ_CHECK(token.next > position);
    tokens.push_back(token.text);
    position = token.next;
  }

  const int32_t count = command_line::CommandLineArgCount(line);
  FUZZ_CHECK(count == (tokens.empty() ? 0 : static_cast<int32_t>(tokens.size()) - 1));
  // Each CommandLineArg splits from the start again; check the first few
  // and the last rather than all, which would be quadratic.
  for (int32_t i = 1; i <= count && i <= 8; ++i) {
    FUZZ_CHECK(command_line::CommandLineArg(line, i) == tokens[static_cast<size_t>(i)]);
  }
  if (count > 0) {
    FUZZ_CHECK(command_line::CommandLineArg(line, count) == tokens[static_cast<size_t>(count)]);
  }
  FUZZ_CHECK(command_line::CommandLineArg(line, count + 1).empty());
  return 0;
}
