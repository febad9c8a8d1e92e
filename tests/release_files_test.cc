// What a Windows user finds in a release besides the program. README.TXT:
// plain ASCII text that Notepad shows as it should on every Windows (kept
// with LF line ends, packed with CRLF), no line over 78 characters, no
// Markdown or HTML, and every message box and exit code exactly as the
// program has them and as the program really shows them. The release: the
// archive holding wavrix.exe and that README.TXT, the build record beside it,
// and SHA256SUMS of both.
#include <cstdint>
#include <cstdlib>
#include <iterator>
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
#include "tests/process.h"
#include "tools/exe_runner/pe_file.h"

namespace {

const std::string kSource = WAVRIX_SOURCE_DIR;
const std::string kReadmeTxt = kSource + "/docs/README.TXT";
constexpr size_t kMaxLineLength = 78;

// Markup that Notepad would show as it stands. Each comes with a line it
// must catch, so that the table itself is tested too.
struct Marker {
  const char* what;
  const char* pattern;
  const char* caught;
};

const Marker kMarkers[] = {
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
::testing::AssertionResult SplitLines(const std::string& text, const std::string& eol,
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
void ExpectPlainText(const std::string& text, const std::string& eol) {
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

#if defined(WAVRIX_WIN32_BIN)

const std::string kWin32Dir = std::string(WAVRIX_WIN32_BIN) + "/..";
const std::string kName = "wavrix-" + std::string(WAVRIX_VERSION) + "-win32";

class ReleaseArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testproc::ReadFile(std::string(WAVRIX_WIN32_BIN) + "/wavrix.exe").empty()) {
      GTEST_SKIP() << "the Windows build is missing (no MinGW-w64 cross compiler)";
    }
  }
};

std::string Sha256(const std::string& path) {
  const std::string line = testproc::Capture("sha256sum < '" + path + "'");
  return line.substr(0, line.find(' '));
}

// The commit the build record must name: the one checked out, when nothing
// is changed; otherwise a line saying why it is not known.
std::string ExpectedCommit() {
  const std::string git = "git -C '" + kSource + "' ";
  std::string head = testproc::Capture(git + "rev-parse HEAD");
  const std::string top = testproc::Capture(git + "rev-parse --show-toplevel");
  const std::string here = testproc::Capture("cd '" + kSource + "' && pwd -P");
  if (head.empty() || top != here) {
    if (const char* handed = std::getenv("WAVRIX_SOURCE_COMMIT")) {
      return handed;
    }
    return "unknown (the source is no git checkout, and WAVRIX_SOURCE_COMMIT was not set)";
  }
  head.pop_back();  // the newline
  if (!testproc::Capture(git + "--no-optional-locks status --porcelain").empty()) {
    return "unknown (the source has changes not committed to " + head + ")";
  }
  return head;
}

TEST_F(ReleaseArchiveTest, HoldsTheProgramAndReadmeTxtBesideItsBuildRecordAndChecksums) {
  const std::string zip = kName + ".zip";
  const std::string record = kName + ".buildinfo";
  ASSERT_EQ(
      std::system(("cmake --build '" + kWin32Dir + "' --target release >/dev/null 2>&1").c_str()),
      0);
  const std::string commit = ExpectedCommit();
  std::istringstream listing(testproc::Capture("cd '" + kWin32Dir + "' && unzip -Z1 " + zip));
  std::vector<std::string> files;
  for (std::string line; std::getline(listing, line);) {
    files.push_back(line);
  }
  EXPECT_EQ(files, (std::vector<std::string>{"README.TXT", "wavrix.exe"}));
  EXPECT_EQ(testproc::Capture("cd '" + kWin32Dir + "' && sha256sum -c SHA256SUMS"),
            zip + ": OK\n" + record + ": OK\n");

  const std::string unpacked = e2e::MakeTempDir();
  ASSERT_EQ(std::system(("unzip -q '" + kWin32Dir + "/" + zip + "' -d '" + unpacked + "'").c_str()),
            0);
  // README.TXT is the one kept in the source, with CRLF line ends.
  const std::string readme = testproc::ReadFile(unpacked + "/README.TXT");
  ExpectPlainText(readme, "\r\n");
  EXPECT_EQ(std::regex_replace(readme, std::regex("\r\n"), "\n"), testproc::ReadFile(kReadmeTxt));

  // The build record: "Field: value" lines, then the checksums, each
  // " SHA-256 SIZE NAME".
  std::map<std::string, std::string> fields;
  std::map<std::string, std::string> checksums;
  std::istringstream lines(testproc::ReadFile(kWin32Dir + "/" + record));
  const std::regex field(R"(^([A-Z][A-Za-z0-9-]*): (.+)$)");
  const std::regex checksum(R"(^ ([0-9a-f]{64}) ([0-9]+) (\S+)$)");
  std::smatch match;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, match, field)) {
      EXPECT_TRUE(fields.emplace(match[1], match[2]).second) << "twice: " << line;
    } else if (std::regex_match(line, match, checksum)) {
      checksums[match[3]] = std::string(match[1]) + " " + std::string(match[2]);
    } else {
      EXPECT_EQ(line, "Checksums-Sha256:");
    }
  }
  EXPECT_EQ(fields["Version"], WAVRIX_VERSION);
  EXPECT_EQ(fields["Commit"], commit);
  const std::string exe = testproc::ReadFile(unpacked + "/wavrix.exe");
  pe_file::Headers headers{};
  const char* why = pe_file::ReadHeaders(pe_file::View(exe.data(), exe.size()), headers);
  EXPECT_EQ(why, nullptr) << why;
  EXPECT_EQ(fields["Source-Date-Epoch"], std::to_string(headers.timeStamp))
      << "the exe's time stamp is the source date";
  EXPECT_NE(fields["Compiler"].find("GCC"), std::string::npos) << fields["Compiler"];
  EXPECT_NE(fields["Binutils"].find("GNU ld"), std::string::npos) << fields["Binutils"];
  EXPECT_NE(fields["Zip"].find("Zip 3"), std::string::npos) << fields["Zip"];
  const std::string archive = testproc::ReadFile(kWin32Dir + "/" + zip);
  EXPECT_EQ(checksums,
            (std::map<std::string, std::string>{
                {"wavrix.exe", Sha256(unpacked + "/wavrix.exe") + " " + std::to_string(exe.size())},
                {zip, Sha256(kWin32Dir + "/" + zip) + " " + std::to_string(archive.size())},
            }));
}

#endif  // WAVRIX_WIN32_BIN

}  // namespace
