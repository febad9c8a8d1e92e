// Splitting the program's command line into arguments.
//
// Windows hands a program its command line as one string; Wavrix splits it by
// its own rules: blanks and control characters (codes 1..32) separate tokens,
// an empty pair of double quotes where a token would start counts as a blank,
// a double quote anywhere in a token opens a run copied as it stands (blanks
// included) up to the next quote, and no token is longer than MaxTokenLength
// characters.
#ifndef WAVRIX_APP_COMMAND_LINE_H_
#define WAVRIX_APP_COMMAND_LINE_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace command_line {

/// Longest token, in characters (bytes).
inline constexpr size_t MaxTokenLength = 4096;

/// One token in a buffer of its own: quotes are dropped from it, so it is not
/// a piece of the line. Only its text is left uninitialised until a split
/// fills it.
struct Token {
  char text[MaxTokenLength];
  size_t length = 0;
  size_t next = 0;  ///< position in the line just after the token

  [[nodiscard]] std::string_view Text() const { return {text, length}; }
  [[nodiscard]] bool Empty() const { return length == 0; }
};

/// Reads into `token` the token that starts at or after `position` of `line`.
/// The line ends at its first NUL character or at its end, whichever comes
/// first; at the end the token is empty. An unquoted run is cut at
/// MaxTokenLength characters and the rest becomes the next token; a quoted run
/// that would pass the limit is cut there and the remainder of that run, with
/// its closing quote, skipped.
void NextCommandLineToken(std::string_view line, size_t position, Token& token);

/// The number of arguments after the program's name (token 0).
int32_t CommandLineArgCount(std::string_view line);

/// Reads argument `index` (1 and up) into `token`; empty when the line ends
/// first or `index` is below 1.
void CommandLineArg(std::string_view line, int32_t index, Token& token);

}  // namespace command_line

#endif  // WAVRIX_APP_COMMAND_LINE_H_
