// What makes README.TXT plain text that Notepad shows as it should on every
// Windows: printable ASCII, no line over 78 characters, no Markdown or HTML,
// one kind of line end. The checks of README.TXT in the source and of the one
// packed into the release share it.
#ifndef WAVRIX_TESTS_PLAIN_TEXT_H_
#define WAVRIX_TESTS_PLAIN_TEXT_H_

#include <cstddef>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace plain_text {

inline constexpr size_t kMaxLineLength = 78;

// Markup that Notepad would show as it stands. Each comes with a line it
// must catch, so that the table itself is tested too.
struct Marker {
  const char* what;
  const char* pattern;
  const char* caught;
};

inline constexpr Marker kMarkers[] = {
    {"a Markdown heading", R"(^\s*#)", "## Messages"},
    {"Markdown strong emphasis", R"(\*\*|__)", "a **bold** word"},
    {"Markdown emphasis", R"((^|[\s(])[*_][^\s*_][^*_]*[*_]($|[\s).,:;]))", "an *emphasised* word"},
    {"Markdown code", R"(`)", "run `wavrix.exe 98.5`"},
    {"a Markdown link or picture", R"(\]\(|!\[|\]\[|^\s*\[[^\]]*\]:)",
     "see [the guide](README.md)"},
    {"a Markdown table", R"(\|)", "| box says | when |"},
    {"a Markdown quote", R"(^\s*>)", "> quoted"},
    {"a Markdown rule or heading underline", R"(^\s*([-=*_])\s*(\1\s*){2,}$)", "======"},
    {"a Markdown bullet", R"(^\s*[-*+]\s)", "- a point"},
    {"an HTML tag", R"(<[A-Za-z!/?])", R"(<img src="assets/wavrix-icon.png">)"},
    {"an HTML entity", R"(&([A-Za-z]+|#[0-9]+|#x[0-9A-Fa-f]+);)", "87.5&nbsp;MHz"},
    {"a trailing blank (a Markdown line break)", R"(\s$)", "two spaces at the end  "},
};

// The lines of `text`, each of which must end in `eol`; anything else (another
// line end, a missing last one) is a failure.
inline ::testing::AssertionResult SplitLines(const std::string& text, const std::string& eol,
                                             std::vector<std::string>& lines) {
  lines.clear();
  if (text.empty()) {
    return ::testing::AssertionFailure() << "the text is empty";
  }
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find(eol, start);
    if (end == std::string::npos) {
      return ::testing::AssertionFailure()
             << "line " << lines.size() + 1 << " does not end in the line end";
    }
    const std::string line = text.substr(start, end - start);
    if (line.find_first_of("\r\n") != std::string::npos) {
      return ::testing::AssertionFailure()
             << "line " << lines.size() + 1
             << " holds another line end: " << ::testing::PrintToString(line);
    }
    lines.push_back(line);
    start = end + eol.size();
  }
  return ::testing::AssertionSuccess();
}

// Plain ASCII text with `eol` line ends, short lines and no markup.
inline void ExpectPlainText(const std::string& text, const std::string& eol) {
  std::vector<std::string> lines;
  ASSERT_TRUE(SplitLines(text, eol, lines));
  std::vector<std::regex> markers;
  for (const Marker& marker : kMarkers) {
    markers.emplace_back(marker.pattern);
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    SCOPED_TRACE("line " + std::to_string(i + 1) + ": " + line);
    EXPECT_LE(line.size(), kMaxLineLength);
    for (const char ch : line) {
      EXPECT_TRUE(ch >= 0x20 && ch <= 0x7E)
          << "byte " << static_cast<int>(static_cast<unsigned char>(ch))
          << ": printable ASCII alone reads the same in every code page";
    }
    for (size_t m = 0; m < std::size(kMarkers); ++m) {
      EXPECT_FALSE(std::regex_search(line, markers[m])) << kMarkers[m].what;
    }
  }
}

}  // namespace plain_text

#endif  // WAVRIX_TESTS_PLAIN_TEXT_H_
