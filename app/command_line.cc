#include "app/command_line.h"

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

Token NextCommandLineToken(std::string_view line, size_t position) {
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

  Token token;
  while (At(line, i) > kLastBlank && token.text.size() < MaxTokenLength) {
    if (At(line, i) != kQuote) {
      token.text.push_back(static_cast<char>(At(line, i++)));
      continue;
    }
    ++i;  // opening quote
    while (At(line, i) != 0 && At(line, i) != kQuote) {
      if (token.text.size() < MaxTokenLength) {
        token.text.push_back(static_cast<char>(At(line, i)));
      }
      ++i;  // past the limit the run is read but not kept
    }
    if (At(line, i) == kQuote) {
      ++i;  // closing quote
    }
  }
  token.next = i;
  return token;
}

int32_t CommandLineArgCount(std::string_view line) {
  size_t position = NextCommandLineToken(line, 0).next;  // the program's name
  int32_t count = 0;
  for (;;) {
    Token token = NextCommandLineToken(line, position);
    if (token.text.empty()) {
      return count;
    }
    position = token.next;
    ++count;
  }
}

std::string CommandLineArg(std::string_view line, int32_t index) {
  Token token = NextCommandLineToken(line, 0);
  for (int32_t i = 0; i < index && !token.text.empty(); ++i) {
    token = NextCommandLineToken(line, token.next);
  }
  return index >= 1 ? token.text : std::string();
}

}  // namespace command_line
