#include "app/command_line.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace command_line {
namespace {

using Tokens = std::vector<std::string>;

// Every token of the line, the program's name first, up to the empty one.
Tokens AllTokens(std::string_view line) {
  Tokens tokens;
  size_t position = 0;
  for (;;) {
    Token token;
    NextCommandLineToken(line, position, token);
    EXPECT_LE(token.length, MaxTokenLength);
    EXPECT_LE(token.next, line.size());
    if (token.Empty()) {
      return tokens;
    }
    tokens.emplace_back(token.Text());
    position = token.next;
  }
}

std::string Arg(std::string_view line, int32_t index) {
  Token token;
  CommandLineArg(line, index, token);
  return std::string(token.Text());
}

struct Case {
  const char* name;
  std::string line;
  Tokens tokens;  // token 0 included
};

TEST(CommandLineTest, SplitsTokens) {
  const std::string a4096(4096, 'a');
  const std::string x4095(4095, 'x');
  const Case cases[] = {
      {"plain", "wavrix 98.5", {"wavrix", "98.5"}},
      {"empty pair is a blank", "wavrix \"\" 98.5", {"wavrix", "98.5"}},
      {"empty pairs before a token", "wavrix \"\"\"\"98.5", {"wavrix", "98.5"}},
      {"empty pair then a quoted run", "wavrix \"\"\"98.5\"", {"wavrix", "98.5"}},
      {"only an empty pair", "wavrix \"\"", {"wavrix"}},
      {"quoted leading space", "wavrix \" 98.5\"", {"wavrix", " 98.5"}},
      {"quoted leading tab", "wavrix \"\t98.5\"", {"wavrix", "\t98.5"}},
      {"quotes inside a token", "a\"b c\"d", {"ab cd"}},
      {"empty quotes inside a token", "wavrix 9\"\"8", {"wavrix", "98"}},
      {"unclosed quote runs to the end", "wavrix \"98.5", {"wavrix", "98.5"}},
      {"lone quote at the end", "wavrix \"", {"wavrix"}},
      {"two arguments", "wavrix 98.5 abc", {"wavrix", "98.5", "abc"}},
      {"control characters separate", "wavrix\t\x01\x1f 98.5\r\n", {"wavrix", "98.5"}},
      {"codes above 127 are ordinary", "wavrix \xe9\x80\xff", {"wavrix", "\xe9\x80\xff"}},
      {"quoted program name",
       "\"C:\\Program Files\\wavrix.exe\" 98.5",
       {"C:\\Program Files\\wavrix.exe", "98.5"}},
      {"no arguments", "wavrix", {"wavrix"}},
      {"only blanks after the name", "wavrix   \t ", {"wavrix"}},
      {"empty line", "", {}},
      {"a NUL ends the line", std::string("wavrix 98.5\0junk", 16), {"wavrix", "98.5"}},
      {"unquoted run cut at 4096", "w " + a4096 + "bcd", {"w", a4096, "bcd"}},
      {"quoted run cut at 4096, rest of the run skipped",
       "w \"" + a4096 + "zz z\"b c",
       {"w", a4096, "b", "c"}},
      {"quoted run reaching 4096 midway", "w " + x4095 + "\"yz\"w", {"w", x4095 + "y", "w"}},
      {"unclosed quoted run past 4096", "w \"" + a4096 + "tail", {"w", a4096}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AllTokens(c.line), c.tokens);
    const int32_t arguments = c.tokens.empty() ? 0 : static_cast<int32_t>(c.tokens.size()) - 1;
    EXPECT_EQ(CommandLineArgCount(c.line), arguments);
    for (int32_t i = 1; i <= arguments; ++i) {
      EXPECT_EQ(Arg(c.line, i), c.tokens[i]);
    }
    EXPECT_EQ(Arg(c.line, arguments + 1), "");
    // The program's name is token 0, not an argument, and nothing lies before it.
    EXPECT_EQ(Arg(c.line, 0), "");
    EXPECT_EQ(Arg(c.line, -1), "");
  }
}

TEST(CommandLineTest, LongLineSplitsIntoBoundedTokens) {
  // Near the longest Windows command line: 32,000 characters.
  std::string line = "wavrix";
  while (line.size() < 32000) {
    line += " \"" + std::string(5000, 'q') + "\" " + std::string(5000, 'u');
  }
  const Tokens tokens = AllTokens(line);
  EXPECT_EQ(CommandLineArgCount(line), static_cast<int32_t>(tokens.size()) - 1);
  for (size_t i = 1; i < tokens.size(); ++i) {
    EXPECT_TRUE(tokens[i].size() == 4096 || tokens[i].size() == 904) << i;
  }
}

}  // namespace
}  // namespace command_line
