// What a Windows user finds in a release: the archive holding wavrix.exe and
// README.TXT (packed with CRLF line ends, and otherwise as kept in the
// source), the build record beside it, and SHA256SUMS of both.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/end_to_end_cases.h"
#include "tests/plain_text.h"
#include "tests/process.h"
#include "tests/scratch.h"
#include "tools/exe_runner/pe_file.h"

namespace {

const std::string kSource = WAVRIX_SOURCE_DIR;
const std::string kReadmeTxt = kSource + "/docs/README.TXT";

using plain_text::ExpectPlainText;

// What scripts/source_commit.sh says of the source at `directory`, with
// WAVRIX_SOURCE_COMMIT set to `handed` or unset.
testproc::Result SourceCommit(const std::string& directory,
                              const std::optional<std::string>& handed) {
  std::vector<std::string> argv = {"env", "-u", "WAVRIX_SOURCE_COMMIT"};
  if (handed) {
    argv.push_back("WAVRIX_SOURCE_COMMIT=" + *handed);
  }
  argv.insert(argv.end(), {"bash", kSource + "/scripts/source_commit.sh", directory});
  return testproc::Run(argv, {}, scratch::Folder());
}

// The date file the Windows build writes for the source at `directory`,
// with SOURCE_DATE_EPOCH unset (cmake/source_date_epoch.cmake).
std::string SourceDateFile(const std::string& directory) {
  const std::string file = scratch::Folder() + "/date";
  const testproc::Result written =
      testproc::Run({"env", "-u", "SOURCE_DATE_EPOCH", "cmake", "-DSOURCE_DIR=" + directory,
                     "-DOUTPUT=" + file, "-P", kSource + "/cmake/source_date_epoch.cmake"},
                    {}, scratch::Folder());
  EXPECT_EQ(written.exitCode, 0) << written.err;
  return testproc::ReadFile(file);
}

// The build record names a commit only when it is sure of it: a clean
// checkout's own, or the one handed to a copy without its .git; otherwise a
// line saying why it cannot, and a commit handed over that cannot be right
// stops the packing. The release's date is the time of a checkout's own
// commit, and unknown in a copy, even inside another repository.
TEST(HarnessSourceCommitTest, NamesACommitOnlyWhenItIsSure) {
  const std::string top = scratch::Folder();
  const std::string repo = top + "/repo";
  const std::string git = "git -C '" + repo + "' -c user.name=W -c user.email=w@example.org ";
  // The source, committed whole, with a copy of it in a folder of its own
  // (inner); and a copy with no .git at all.
  ASSERT_EQ(std::system(("git init -q '" + repo + "' && mkdir '" + repo + "/inner' '" + top +
                         "/copy' && echo a | tee '" + repo + "/a' '" + repo + "/inner/a' '" + top +
                         "/copy/a' >/dev/null && " + git + "add -A && " + git + "commit -q -m a")
                            .c_str()),
            0);
  std::string head = testproc::Capture("git -C '" + repo + "' rev-parse HEAD");
  ASSERT_EQ(head.size(), 41u);
  head.pop_back();
  const std::string committed = testproc::Capture("git -C '" + repo + "' log -1 --format=%ct");
  const std::string unknownDate =
      "0\nthe source is no git checkout of its own, and SOURCE_DATE_EPOCH was not set\n";
  const std::string other(40, 'a');
  struct Row {
    const char* what;
    std::string directory;
    std::optional<std::string> handed;
    bool dirty;
    int exitCode;
    std::string said;
    std::string date;  ///< the date file's text
  };
  const std::string noCheckout =
      "unknown (the source is no git checkout, and WAVRIX_SOURCE_COMMIT was not set)\n";
  const Row rows[] = {
      {"a clean checkout", repo, std::nullopt, false, 0, head + "\n", committed},
      {"a clean checkout, told its own commit", repo, head, false, 0, head + "\n", committed},
      {"a clean checkout, told another commit", repo, other, false, 1, "", committed},
      {"a copy", top + "/copy", std::nullopt, false, 0, noCheckout, unknownDate},
      {"a copy, told its commit", top + "/copy", other, false, 0, other + "\n", unknownDate},
      {"a copy, told no full commit id", top + "/copy", "abc123", false, 1, "", unknownDate},
      {"a copy inside another repository", repo + "/inner", std::nullopt, false, 0, noCheckout,
       unknownDate},
      {"a checkout with changes", repo, std::nullopt, true, 0,
       "unknown (the source has changes not committed to " + head + ")\n", committed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.dirty) {
      testproc::WriteFile(repo + "/a", "changed\n");
    }
    const testproc::Result said = SourceCommit(row.directory, row.handed);
    EXPECT_EQ(said.exitCode, row.exitCode) << said.err;
    EXPECT_EQ(said.out, row.said);
    EXPECT_EQ(said.err.empty(), row.exitCode == 0) << said.err;
    EXPECT_EQ(SourceDateFile(row.directory), row.date);
  }
}

#if defined(WAVRIX_WIN32_BIN)

const std::string kWin32Dir = std::string(WAVRIX_WIN32_BIN) + "/..";
const std::string kName = "wavrix-" + std::string(WAVRIX_VERSION) + "-win32";

class ReleaseArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string exe = std::string(WAVRIX_WIN32_BIN) + "/wavrix.exe";
    if (testproc::ReadFile(exe).empty()) {
      GTEST_SKIP() << "the Windows build has not made " << exe << " (build wavrix_win32)";
    }
  }
};

std::string Sha256(const std::string& path) {
  const std::string line = testproc::Capture("sha256sum < '" + path + "'");
  return line.substr(0, line.find(' '));
}

// The commit the build record must name, as the release's one way of
// finding it says (its own rules are held by HarnessSourceCommitTest).
std::string ExpectedCommit() {
  std::string commit = SourceCommit(kSource, std::nullopt).out;
  if (!commit.empty()) {
    commit.pop_back();  // the newline
  }
  return commit;
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

  const std::string unpacked = scratch::Folder();
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
  // On Debian, the release, in the form scripts/check_download.sh reads.
  if (!testproc::ReadFile("/etc/debian_version").empty()) {
    EXPECT_TRUE(std::regex_match(fields["Build-System"],
                                 std::regex(R"(Debian GNU/Linux [0-9]+ \([a-z]+\))")))
        << fields["Build-System"];
  }
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
