#include "app/command_line.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace command_line {
namespace {

constexpr unsigned char kQuote = '"';
constexpr unsigned char kLastBlank = 32;

// The character at `i`, as an unsigned code; 0 past the end, so a line is read
// like a NUL-terminated string and never beyond it.
unsigned char At(std::string_view line, size_t i) {
  return i < line.size() ? static_cast<unsigned char>(line[i]) : 0;
}

}  // namespace

void NextCommandLineToken(std::string_view line, size_t position, Token& token) {
  size_t i = position;
  for (;;) {
    while (At(line, i) != 0 && At(line, i) <= kLastBlank) {
      ++i;
    }
    if (At(line, i) == kQuote && At(line, i + 1) == kQuote) {
      i += 2;  // "" stands for an empty argument; it is skipped like a blank
      continue;
    }
    break;
  }

  size_t length = 0;
  while (At(line, i) > kLastBlank && length < MaxTokenLength) {
    if (At(line, i) != kQuote) {
      token.text[length++] = static_cast<char>(At(line, i++));
      continue;
    }
    ++i;  // opening quote
    while (At(line, i) != 0 && At(line, i) != kQuote) {
      if (length < MaxTokenLength) {
        token.text[length++] = static_cast<char>(At(line, i));
      }
      ++i;  // past the limit the run is read but not kept
    }
    if (At(line, i) == kQuote) {
      ++i;  // closing quote
    }
  }
  token.length = length;
  token.next = i;
}

int32_t CommandLineArgCount(std::string_view line) {
  Token token;
  NextCommandLineToken(line, 0, token);  // the program's name
  int32_t count = 0;
  for (;;) {
    NextCommandLineToken(line, token.next, token);
    if (token.Empty()) {
      return count;
    }
    ++count;
  }
}

void CommandLineArg(std::string_view line, int32_t index, Token& token) {
  NextCommandLineToken(line, 0, token);
  for (int32_t i = 0; i < index && !token.Empty(); ++i) {
    NextCommandLineToken(line, token.next, token);
  }
  if (index < 1) {
    token.length = 0;
  }
}

}  // namespace command_line
