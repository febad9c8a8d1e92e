// The guides, held to the program. README.TXT, the guide shipped to Windows
// users: plain text (plain_text.h), every message box and exit code exactly
// as the program has them, and every example line giving what the Linux
// program really does with that command line. README.md: its tables of the
// message boxes and of the exe's imports, as the program has the boxes and
// as the exe is held to its imports.
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
#include "tests/scratch.h"
#include "tests/windows_imports.h"

namespace {

using plain_text::ExpectPlainText;
using plain_text::kMarkers;
using plain_text::Marker;
using plain_text::SplitLines;

const std::string kSource = WAVRIX_SOURCE_DIR;
const std::string kReadmeTxt = kSource + "/docs/README.TXT";
const std::string kReadmeMd = kSource + "/README.md";

// Fewer example lines than this means the reader of them is broken, not
// that README.TXT has lost its examples.
constexpr size_t kMinExamples = 20;

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

// An example line of README.TXT, four spaces in:
//     wavrix.exe ARGUMENT...        OUTCOME
// the arguments one space apart, the outcome two or more spaces after them:
// "tunes N MHz", or the text of a box in double quotes, as MESSAGES lists it.
struct Example {
  std::vector<std::string> arguments;
  std::optional<std::string> tunesMhz;  ///< N of "tunes N MHz"
  std::string boxText;                  ///< when it does not tune
  bool operator==(const Example&) const = default;
};

enum class LineKind { kProse, kExample, kMalformed };

// What `line` is: an example (then read into `example`), a line that starts
// like one but is not in the form, or anything else.
LineKind ReadExample(const std::string& line, Example& example) {
  static const std::regex form(
      R"re(^    wavrix\.exe((?: [^ "]+)*)  +(?:tunes ([0-9]+(?:\.[0-9]+)?) MHz|"([^"]+)")$)re");
  static const std::regex lookalike(R"(^ {4,}wavrix\.exe( |$))");
  std::smatch match;
  if (!std::regex_match(line, match, form)) {
    return std::regex_search(line, lookalike) ? LineKind::kMalformed : LineKind::kProse;
  }
  example = {};
  std::istringstream arguments(match[1]);
  for (std::string argument; arguments >> argument;) {
    example.arguments.push_back(argument);
  }
  if (match[2].matched) {
    example.tunesMhz = match[2];
  } else {
    example.boxText = match[3];
  }
  return LineKind::kExample;
}

// "N" MHz written in whole Hz, digit by digit; none for a fraction of a Hz.
std::optional<std::string> MhzInHz(const std::string& mhz) {
  const size_t point = mhz.find('.');
  std::string fraction = point == std::string::npos ? "" : mhz.substr(point + 1);
  if (fraction.size() > 6) {
    return std::nullopt;
  }
  fraction.resize(6, '0');
  std::string hz = mhz.substr(0, point) + fraction;
  hz.erase(0, std::min(hz.find_first_not_of('0'), hz.size() - 1));
  return hz;
}

// A box's line on Linux as README.TXT writes the box: the fatal report's
// location, eight upper-case hex digits where the text has LLLLLLLL, put back
// as LLLLLLLL.
std::string AsListed(std::string err, const std::string& listed) {
  const size_t at = listed.find("LLLLLLLL");
  if (at != std::string::npos && err.size() >= at + 8 &&
      std::all_of(err.begin() + static_cast<std::ptrdiff_t>(at),
                  err.begin() + static_cast<std::ptrdiff_t>(at + 8),
                  [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); })) {
    err.replace(at, 8, "LLLLLLLL");
  }
  return err;
}

// One run of the Linux program against the simulated card, with its trace.
struct ProgramRun {
  testproc::Result result;
  std::string trace;
};

ProgramRun RunLinuxProgram(const std::vector<std::string>& arguments) {
  const std::string directory = scratch::Folder();
  const std::string trace = directory + "/trace";
  std::vector<std::string> argv = {WAVRIX_EXE};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  ProgramRun run{testproc::Run(argv, {"WAVRIX_SIM_TRACE=" + trace}, directory), ""};
  run.trace = testproc::ReadFile(trace);
  return run;
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

TEST(HarnessReadmeTxtCheckTest, ReadExampleTakesTheFormAndNothingElse) {
  struct Row {
    const char* line;
    LineKind kind;
    Example example;
  };
  const Row rows[] = {
      {"    wavrix.exe 98.5           tunes 98.5 MHz", LineKind::kExample, {{"98.5"}, "98.5", ""}},
      {"    wavrix.exe 98.5 107.7  tunes 98.5 MHz",
       LineKind::kExample,
       {{"98.5", "107.7"}, "98.5", ""}},
      {"    wavrix.exe 4394967296  tunes 100 MHz", LineKind::kExample, {{"4394967296"}, "100", ""}},
      {R"(    wavrix.exe                "No frequency parameter")",
       LineKind::kExample,
       {{}, std::nullopt, "No frequency parameter"}},
      {R"(    wavrix.exe 1e400  "Runtime error 205 at LLLLLLLL")",
       LineKind::kExample,
       {{"1e400"}, std::nullopt, "Runtime error 205 at LLLLLLLL"}},
      // one space before the outcome: it would read as more arguments
      {"    wavrix.exe 98.5 tunes 98.5 MHz", LineKind::kMalformed, {}},
      {"    wavrix.exe 98.5", LineKind::kMalformed, {}},
      {"    wavrix.exe 1e400      Runtime error 205", LineKind::kMalformed, {}},
      {"    wavrix.exe 98.5       tunes 98.5", LineKind::kMalformed, {}},
      {"    wavrix.exe 98.5       tunes 98.5 MHz.", LineKind::kMalformed, {}},
      {R"(    wavrix.exe "98.5"     tunes 98.5 MHz)", LineKind::kMalformed, {}},
      {"      wavrix.exe 98.5       tunes 98.5 MHz", LineKind::kMalformed, {}},
      {"    wavrix.exe", LineKind::kMalformed, {}},
      {"   wavrix.exe in it.", LineKind::kProse, {}},
      {"    start /wait wavrix.exe 98.5", LineKind::kProse, {}},
      {R"(       "C:\Program Files\Wavrix\wavrix.exe" 98.5)", LineKind::kProse, {}},
      {"wavrix.exe is a single small file and carries everything it needs but the",
       LineKind::kProse,
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    Example example;
    EXPECT_EQ(ReadExample(row.line, example), row.kind);
    if (row.kind == LineKind::kExample) {
      EXPECT_EQ(example.arguments, row.example.arguments);
      EXPECT_EQ(example.tunesMhz, row.example.tunesMhz);
      EXPECT_EQ(example.boxText, row.example.boxText);
    }
  }
}

TEST(HarnessReadmeTxtCheckTest, MhzInHzShiftsThePointSixPlaces) {
  struct Row {
    const char* mhz;
    std::optional<std::string> hz;
  };
  const Row rows[] = {
      {"98.5", "98500000"},          {"108", "108000000"}, {"87.5", "87500000"},
      {"100.000001", "100000001"},   {"0.000001", "1"},    {"0", "0"},
      {"100.0000005", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(MhzInHz(row.mhz), row.hz) << row.mhz;
  }
}

TEST(HarnessReadmeTxtCheckTest, AsListedPutsBackOnlyALocation) {
  struct Row {
    const char* err;
    const char* listed;
    const char* expected;
  };
  const Row rows[] = {
      {"Error: Runtime error 205 at 000015C0\n", "Error: Runtime error 205 at LLLLLLLL",
       "Error: Runtime error 205 at LLLLLLLL\n"},
      // lower case is not how the report writes it
      {"Error: Runtime error 205 at 000015c0\n", "Error: Runtime error 205 at LLLLLLLL",
       "Error: Runtime error 205 at 000015c0\n"},
      {"Error: Runtime error 205 at 15C0\n", "Error: Runtime error 205 at LLLLLLLL",
       "Error: Runtime error 205 at 15C0\n"},
      {"Wavrix error: No frequency parameter\n", "Wavrix error: No frequency parameter",
       "Wavrix error: No frequency parameter\n"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(AsListed(row.err, row.listed), row.expected) << row.err;
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

// Every example line of README.TXT, run by the Linux program: a box it names
// is the one line the program writes, with that box's exit code; "tunes N
// MHz" is a quiet run that sends the card what N MHz written in whole Hz
// sends it.
TEST(ReadmeTxtTest, EveryExampleDoesWhatItSays) {
  const std::vector<Box> boxes = ReadmeBoxes();
  const std::vector<std::string> lines = ReadmeLines();
  size_t examples = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE("README.TXT line " + std::to_string(i + 1) + ": " + lines[i]);
    Example example;
    const LineKind kind = ReadExample(lines[i], example);
    if (kind == LineKind::kMalformed) {
      ADD_FAILURE() << "begins as an example but is not in the form of one";
      continue;
    }
    if (kind == LineKind::kProse) {
      continue;
    }
    ++examples;
    const ProgramRun run = RunLinuxProgram(example.arguments);
    EXPECT_EQ(run.result.out, "");
    if (example.tunesMhz) {
      const std::optional<std::string> hz = MhzInHz(*example.tunesMhz);
      if (!hz) {
        ADD_FAILURE() << "not a whole number of Hz: " << *example.tunesMhz << " MHz";
        continue;
      }
      // The same frequency in Hz must itself tune, or the traffic compared
      // would be that of a box.
      const ProgramRun inHz = RunLinuxProgram({*hz});
      EXPECT_EQ(inHz.result.err, "") << "wavrix " << *hz;
      EXPECT_NE(inHz.trace.find("I2CHWWrite3"), std::string::npos) << inHz.trace;
      EXPECT_EQ(run.result.err, "");
      EXPECT_EQ(run.result.exitCode, 0);
      EXPECT_EQ(run.trace, inHz.trace) << "not the traffic of wavrix " << *hz;
      continue;
    }
    const auto box = std::find_if(boxes.begin(), boxes.end(),
                                  [&](const Box& b) { return b.text == example.boxText; });
    if (box == boxes.end()) {
      ADD_FAILURE() << "MESSAGES lists no box \"" << example.boxText << "\"";
      continue;
    }
    // On Linux a box is the line "CAPTION: TEXT".
    const std::string expected = box->caption + ": " + box->text;
    EXPECT_EQ(AsListed(run.result.err, expected), expected + "\n");
    EXPECT_EQ(run.result.exitCode, box->exitCode);
  }
  EXPECT_GE(examples, kMinExamples);
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
