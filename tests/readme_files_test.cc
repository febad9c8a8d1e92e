// The guides, held to the program. README.TXT, the guide shipped to Windows
// users: plain text (plain_text.h), and every message box and exit code
// exactly as the program has them and as the program really shows them.
// README.md: its tables of the message boxes and of the exe's imports, as
// the program has the boxes and as the exe is held to its imports.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/faults.h"
#include "app/messages.h"
#include "gtest/gtest.h"
#include "tests/end_to_end_cases.h"
#include "tests/plain_text.h"
#include "tests/process.h"
#include "tests/windows_imports.h"

namespace {

using plain_text::ExpectPlainText;
using plain_text::kMarkers;
using plain_text::Marker;
using plain_text::SplitLines;

const std::string kSource = WAVRIX_SOURCE_DIR;
const std::string kReadmeTxt = kSource + "/docs/README.TXT";
const std::string kReadmeMd = kSource + "/README.md";

std::vector<std::string> ReadmeLines() {
  std::vector<std::string> lines;
  EXPECT_TRUE(SplitLines(testproc::ReadFile(kReadmeTxt), "\n", lines));
  return lines;
}

// The lines under the heading `title` (a line in capitals), up to the next.
std::vector<std::string> Section(const std::vector<std::string>& lines, const std::string& title) {
  const std::regex heading("^[A-Z][A-Z0-9 ]*$");
  std::vector<std::string> section;
  bool inside = false;
  for (const std::string& line : lines) {
    if (std::regex_match(line, heading)) {
      inside = line == title;
    } else if (inside) {
      section.push_back(line);
    }
  }
  EXPECT_FALSE(section.empty()) << "no section " << title;
  return section;
}

// One message box: what it shows, and the exit code of the run that shows it.
struct Box {
  std::string caption;
  std::string text;  ///< the fatal report's location as LLLLLLLL
  int exitCode;
  bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& box) {
  return out << "caption \"" << box.caption << "\", text \"" << box.text << "\", exit code "
             << box.exitCode;
}

// The fatal-error report as README.TXT shows it: LLLLLLLL for the location.
std::string FatalText(uint16_t code) {
  return std::string(faults::ReportText({code, 0}).text)
      .replace(messages::FatalLocationAt, messages::FatalLocationDigits, "LLLLLLLL");
}

// Every box the program can show, from its own message table.
std::vector<Box> ProgramBoxes() {
  return {
      {messages::Caption, messages::NoFrequency, 0},
      {messages::Caption, messages::InvalidFrequency, 0},
      {messages::Caption, messages::TunerRefused, 0},
      {messages::FatalCaption, FatalText(faults::OverflowError), faults::OverflowError},
      {messages::FatalCaption, FatalText(faults::InvalidOperationError),
       faults::InvalidOperationError},
  };
}

// The boxes README.TXT lists, one a line:
//   Caption "CAPTION", text "TEXT", exit code N
std::vector<Box> ReadmeBoxes() {
  const std::regex box(R"re(^Caption "([^"]*)", text "([^"]*)", exit code ([0-9]+)$)re");
  std::vector<Box> boxes;
  std::smatch match;
  for (const std::string& line : Section(ReadmeLines(), "MESSAGES")) {
    if (std::regex_match(line, match, box)) {
      boxes.push_back({match[1], match[2], std::stoi(match[3])});
    } else {
      EXPECT_NE(line.rfind("Caption", 0), 0u)
          << "a box not in the form README.TXT lists them: " << line;
    }
  }
  return boxes;
}

using Table = std::vector<std::vector<std::string>>;

// The rows of the first table in README.md's section "## `title`", each as
// its cells without the blanks around them; the header first, the alignment
// row left out.
Table MarkdownTable(const std::string& markdown, const std::string& title) {
  const std::regex alignment(R"(^\s*:?-+:?\s*$)");
  Table table;
  bool inside = false;
  std::istringstream lines(markdown);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("## ", 0) == 0) {
      inside = line == "## " + title;
      continue;
    }
    if (!inside) {
      continue;
    }
    if (line.empty() || line[0] != '|') {
      if (!table.empty()) {
        break;
      }
      continue;
    }
    std::vector<std::string> cells;
    std::istringstream row(line.substr(1, line.find_last_not_of(" |")));
    for (std::string cell; std::getline(row, cell, '|');) {
      const size_t first = cell.find_first_not_of(' ');
      cells.push_back(first == std::string::npos
                          ? ""
                          : cell.substr(first, cell.find_last_not_of(' ') - first + 1));
    }
    if (!std::all_of(cells.begin(), cells.end(),
                     [&](const std::string& c) { return std::regex_match(c, alignment); })) {
      table.push_back(cells);
    }
  }
  return table;
}

TEST(HarnessReadmeTxtCheckTest, MarkerTableCatchesWhatItNames) {
  for (const Marker& marker : kMarkers) {
    EXPECT_TRUE(std::regex_search(std::string(marker.caught), std::regex(marker.pattern)))
        << marker.what << ": " << marker.caught;
  }
  // And lets plain text through.
  ExpectPlainText("WAVRIX\n\n1. Put wavrix.exe in C:\\Program Files\\Wavrix.\n", "\n");
}

TEST(HarnessReadmeTxtCheckTest, SplitLinesRefusesOtherLineEnds) {
  struct Row {
    const char* text;
    const char* eol;
    bool accepted;
  };
  const Row rows[] = {
      {"a\r\nb\r\n", "\r\n", true},
      {"a\nb\n", "\n", true},
      {"a\r\nb\n", "\r\n", false},
      {"a\r\nb", "\r\n", false},
      {"a\rb\r\n", "\r\n", false},
      {"a\r\nb\r\n", "\n", false},
      {"", "\n", false},
  };
  for (const Row& row : rows) {
    std::vector<std::string> lines;
    EXPECT_EQ(static_cast<bool>(SplitLines(row.text, row.eol, lines)), row.accepted)
        << ::testing::PrintToString(std::string(row.text));
  }
}

TEST(HarnessReadmeMdCheckTest, MarkdownTableReadsTheFirstTableOfItsSection) {
  const std::string markdown =
      "## One\n\n| a | b |\n|---|:-:|\n| c | d |\n\n"
      "## Two\n\ntext\n\n| e | f |\n|---|---|\n|  g |h|\n| `i`, `j` | k |\n\n"
      "| l | m |\n\n## Three\n";
  struct Row {
    const char* title;
    Table table;
  };
  const Row rows[] = {
      {"One", {{"a", "b"}, {"c", "d"}}},
      {"Two", {{"e", "f"}, {"g", "h"}, {"`i`, `j`", "k"}}},
      {"Three", {}},
      {"Four", {}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(MarkdownTable(markdown, row.title), row.table) << row.title;
  }
}

// Kept with LF line ends: the packing makes them CRLF, and a carriage return
// already there would be doubled.
TEST(ReadmeTxtTest, IsPlainTextWithShortLines) {
  ExpectPlainText(testproc::ReadFile(kReadmeTxt), "\n");
}

TEST(ReadmeTxtTest, ListsEveryMessageBoxAsTheProgramHasIt) {
  EXPECT_EQ(ReadmeBoxes(), ProgramBoxes());
}

// The exit codes README.TXT lists, "  N    what", are those of the boxes and
// of a tuning.
TEST(ReadmeTxtTest, ListsTheExitCodes) {
  const std::regex code(R"(^  ([0-9]+) +\S.*$)");
  std::set<int> listed;
  std::smatch match;
  for (const std::string& line : Section(ReadmeLines(), "EXIT CODES")) {
    if (std::regex_match(line, match, code)) {
      EXPECT_TRUE(listed.insert(std::stoi(match[1])).second) << "listed twice: " << line;
    }
  }
  std::set<int> program = {0};  // a tuning
  for (const Box& box : ProgramBoxes()) {
    program.insert(box.exitCode);
  }
  EXPECT_EQ(listed, program);
}

// What README.TXT says of its examples is what the Linux program does with
// them: the box (none: it tunes) and the exit code.
TEST(ReadmeTxtTest, ExamplesGiveTheBoxesItNames) {
  const std::vector<Box> boxes = ProgramBoxes();
  struct Row {
    std::optional<std::string> argument;
    std::optional<size_t> box;  ///< index into ProgramBoxes(); none: a tuning
  };
  const Row rows[] = {
      {std::nullopt, 0},  {"98,5", 1},  {"98.5MHz", 1}, {".", 2},         {"-.", 2},
      {"e5", 2},          {".e1", 2},   {"1000", 2},    {"1e400", 3},     {"-1e303", 3},
      {"1e19", 4},        {"98.5", {}}, {"9.85e1", {}}, {"98500000", {}}, {"87.5", {}},
      {"4394967296", {}}, {"108", {}},
  };
  const std::string readme = testproc::ReadFile(kReadmeTxt);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.argument ? "wavrix " + *row.argument : std::string("wavrix"));
    if (row.argument) {
      EXPECT_NE(readme.find(*row.argument), std::string::npos) << "not an example in README.TXT";
    }
    std::vector<std::string> argv = {WAVRIX_EXE};
    if (row.argument) {
      argv.push_back(*row.argument);
    }
    const testproc::Result result = testproc::Run(argv, {}, e2e::MakeTempDir());
    if (!row.box) {
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(result.exitCode, 0);
      continue;
    }
    const Box& box = boxes[*row.box];
    // On Linux a box is the line "CAPTION: TEXT"; the location is some
    // eight hex digits.
    std::string expected = box.caption + ": " + box.text;
    const size_t location = expected.find("LLLLLLLL");
    if (location == std::string::npos) {
      EXPECT_EQ(result.err, expected + "\n");
    } else {
      expected.replace(location, 8, "[0-9A-F]{8}");
      EXPECT_TRUE(std::regex_match(result.err, std::regex(expected + "\n"))) << result.err;
    }
    EXPECT_EQ(result.exitCode, box.exitCode);
  }
}

// README.md's table of the boxes: caption, text and exit code of each, as
// the program has them.
TEST(ReadmeMdTest, MessageTableListsTheProgramsBoxes) {
  const Table table = MarkdownTable(testproc::ReadFile(kReadmeMd), "Messages and exit codes");
  ASSERT_FALSE(table.empty()) << "no table under \"## Messages and exit codes\"";
  EXPECT_EQ(table[0],
            (std::vector<std::string>{"caption", "box says", "exit code", "when", "what to do"}));
  std::vector<Box> listed;
  const std::regex number("^[0-9]+$");
  for (size_t r = 1; r < table.size(); ++r) {
    const std::vector<std::string>& row = table[r];
    ASSERT_EQ(row.size(), table[0].size()) << ::testing::PrintToString(row);
    ASSERT_TRUE(std::regex_match(row[2], number)) << "exit code " << row[2];
    listed.push_back({row[0], row[1], std::stoi(row[2])});
  }
  EXPECT_EQ(listed, ProgramBoxes());
}

// README.md's table of imports: each DLL with its functions, "`Name`" and
// ", " between them, the list the exe is held to.
TEST(ReadmeMdTest, ImportTableIsWhatTheExeIsHeldTo) {
  const Table table = MarkdownTable(testproc::ReadFile(kReadmeMd), "What the exe runs on");
  ASSERT_FALSE(table.empty()) << "no table under \"## What the exe runs on\"";
  EXPECT_EQ(table[0], (std::vector<std::string>{"DLL", "functions"}));
  std::map<std::string, windows_imports::Names> listed;
  const std::regex name("^`([A-Za-z0-9_]+)`$");
  for (size_t r = 1; r < table.size(); ++r) {
    const std::vector<std::string>& row = table[r];
    ASSERT_EQ(row.size(), 2u) << ::testing::PrintToString(row);
    windows_imports::Names& names = listed[row[0]];
    EXPECT_TRUE(names.empty()) << row[0] << " listed twice";
    std::smatch match;
    for (std::string rest = row[1];;) {
      const size_t comma = rest.find(", ");
      const std::string item = rest.substr(0, comma);
      if (!std::regex_match(item, match, name)) {
        ADD_FAILURE() << "not a `Name`: " << item;
      } else {
        EXPECT_TRUE(names.insert(match[1]).second) << "twice: " << item;
      }
      if (comma == std::string::npos) {
        break;
      }
      rest.erase(0, comma + 2);
    }
  }
  EXPECT_EQ(listed, windows_imports::kExeImports);
}

}  // namespace
