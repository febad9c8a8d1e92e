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
  command_line::Token token;
  for (;;) {
    command_line::NextCommandLineToken(line, position, token);
    FUZZ_CHECK(token.length <= command_line::MaxTokenLength);
    FUZZ_CHECK(token.next >= position && token.next <= line.size());
    FUZZ_CHECK(token.Text().find('\0') == std::string_view::npos);
    if (token.Empty()) {
      FUZZ_CHECK(token.next == line.size());  // only the end gives an empty token
      break;
    }
    FUZZ_CHECK(token.next > position);
    tokens.emplace_back(token.Text());
    position = token.next;
  }
  auto arg = [&](int32_t index) {
    command_line::CommandLineArg(line, index, token);
    return std::string(token.Text());
  };

  const int32_t count = command_line::CommandLineArgCount(line);
  FUZZ_CHECK(count == (tokens.empty() ? 0 : static_cast<int32_t>(tokens.size()) - 1));
  // Each CommandLineArg splits from the start again; check the first few
  // and the last rather than all, which would be quadratic.
  for (int32_t i = 1; i <= count && i <= 8; ++i) {
    FUZZ_CHECK(arg(i) == tokens[static_cast<size_t>(i)]);
  }
  if (count > 0) {
    FUZZ_CHECK(arg(count) == tokens[static_cast<size_t>(count)]);
  }
  FUZZ_CHECK(arg(count + 1).empty());
  return 0;
}
