// The Windows program under Wine, next to the simulated BTVID_32.DLL: each row
// of the end-to-end table as a test of its own, as current Windows, as
// Windows 98, with a cdecl driver, and with each kind of driver; the fault
// locations; and the unit tests built for Windows. Wine runs 32-bit Windows
// programs with 32-bit Linux code, so all of these are skipped, saying so,
// where this machine's kernel runs no 32-bit programs, and where Wine or the
// Windows build is missing; the emulated runs (emulated_test.cc) then hold the
// exe to the table alone.
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/end_to_end_cases.h"
#include "tests/process.h"
#include "tests/scratch.h"
#include "tools/exe_runner/exit_codes.h"

namespace {

const std::string kBin = WAVRIX_WIN32_BIN;

// Whether this machine's kernel runs 32-bit x86 programs, found by starting
// one: the exe runner is such a program, static and needing nothing else,
// and answers a bare call with its usage. WAVRIX_TEST_NO_32BIT=1 makes the
// answer no, to try what a host without them does.
std::string Kernel32BitTrouble() {
  const char* imitated = std::getenv("WAVRIX_TEST_NO_32BIT");
  if (imitated != nullptr && std::string(imitated) == "1") {
    return "this machine's kernel runs no 32-bit programs (WAVRIX_TEST_NO_32BIT=1)";
  }
  const testproc::Result probe = testproc::Run({WAVRIX_RUNNER}, {}, scratch::Folder());
  if (probe.exitCode != exe_runner::UsageError) {
    return "this machine's kernel runs no 32-bit programs";
  }
  return "";
}

// Why the Wine runs cannot run here, or "" when they can.
std::string WineMissing() {
  if (std::system("command -v wine >/dev/null 2>&1") != 0) {
    return "Wine is not installed";
  }
  if (testproc::ReadFile(kBin + "/wavrix.exe").empty()) {
    return "the Windows build is missing";
  }
  return Kernel32BitTrouble();
}

// Every test here starts with this: found once for the whole test program.
void SkipWithoutWine() {
  static const std::string missing = WineMissing();
  if (!missing.empty()) {
    GTEST_SKIP() << missing;
  }
}

class WineTest : public ::testing::Test {
 protected:
  void SetUp() override { SkipWithoutWine(); }
};

std::string WindowsPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& ch : path) {
    ch = ch == '/' ? '\\' : ch;
  }
  return path;
}

uint32_t Hex(const std::string& text) {
  return static_cast<uint32_t>(std::stoul(text, nullptr, 16));
}

// Undoes the escapes of Wine's relay log in a logged string.
std::string Unescape(const std::string& logged) {
  std::string text;
  for (size_t i = 0; i < logged.size(); ++i) {
    if (logged[i] != '\\' || i + 1 == logged.size()) {
      text += logged[i];
      continue;
    }
    const char next = logged[++i];
    text += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
  }
  return text;
}

// Which Windows Wine presents to the program.
enum class Presented { kCurrent, kWindows98 };

// How the simulated BTVID_32.DLL beside the program was built: with stdcall
// (it removes its arguments) or with the C convention (the caller does).
enum class Convention { kStdcall, kCdecl };

// What one Wine run puts the program in front of.
struct Setting {
  Presented windows = Presented::kCurrent;
  Convention convention = Convention::kStdcall;
  const e2e::Driver* driver = &e2e::kBareDriver;
};

// The Windows program under Wine, started by the launcher with the exact
// command line; Wine's relay log shows every MessageBoxA and Sleep it made.
// For Windows 98 the program runs as a copy named wavrix98.exe, which the
// tests' Wine prefix presents with that version (its AppDefaults); for the
// cdecl driver, as a copy beside that DLL.
traffic::Seen RunWine(const e2e::Case& c, const Setting& setting = {}) {
  const std::string dir = scratch::Folder();
  std::string exe = kBin + "/wavrix.exe";
  if (setting.windows == Presented::kWindows98 || setting.convention == Convention::kCdecl) {
    exe = dir + (setting.windows == Presented::kWindows98 ? "/wavrix98.exe" : "/wavrix.exe");
    testproc::WriteFile(exe, testproc::ReadFile(kBin + "/wavrix.exe"));
    const std::string dll =
        setting.convention == Convention::kCdecl ? "/cdecl/BTVID_32.DLL" : "/BTVID_32.DLL";
    testproc::WriteFile(dir + "/BTVID_32.DLL", testproc::ReadFile(kBin + dll));
  }
  testproc::WriteFile(dir + "/command-line", c.commandLine);
  std::vector<std::string> env = e2e::CardEnv(c, *setting.driver);
  env.push_back("WAVRIX_SIM_TRACE=trace.txt");
  // Each line of the log starts with the process and thread ids; Wine's own
  // services log their calls too. +ver tells the version each process got,
  // +actctx how the program's manifest was read.
  env.push_back("WINEDEBUG=+relay,+pid,+ver,+actctx");
  const testproc::Result result =
      testproc::Run({"bash", WAVRIX_WINE_RUN, WAVRIX_WINE_PREFIX, kBin + "/launcher.exe",
                     WindowsPath(exe), "command-line"},
                    env, dir);

  traffic::Seen seen = e2e::SeenOf(result);
  seen.waitsSeen = true;
  const std::regex messageBox(
      R"re(Call user32\.MessageBoxA\(([0-9a-f]{8}),[0-9a-f]{8} "((?:[^"\\]|\\.)*)",[0-9a-f]{8} "((?:[^"\\]|\\.)*)",([0-9a-f]{8})\))re");
  const std::regex sleep(R"(Call KERNEL32\.Sleep\(([0-9a-f]{8})\))");
  std::smatch match;
  std::string pid = "(none)";
  if (std::regex_search(result.err, match, std::regex("launcher: process ([0-9a-f]{4})"))) {
    pid = match[1].str() + ":";
  }
  // Windows 98 is version 4.10 on the Windows 9x platform (1); current
  // Windows is on the NT platform (2).
  const std::regex version(R"(trace:ver:version_init got (\d+\.\d+) platform (\d))");
  const std::regex manifestTrouble(":(err|warn|fixme):actctx:");
  std::string presented;
  bool manifestRead = false;
  std::istringstream lines(result.err);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(pid, 0) != 0) {
      continue;
    }
    // A manifest Windows cannot take stops the program; Wine says why.
    EXPECT_FALSE(std::regex_search(line, manifestTrouble)) << line;
    manifestRead =
        manifestRead ||
        line.find("parse_assembly_identity_elem name=L\"Wavrix.Wavrix\"") != std::string::npos;
    if (std::regex_search(line, match, version)) {
      presented = match[1].str() + " platform " + match[2].str();
    } else if (std::regex_search(line, match, messageBox)) {
      EXPECT_EQ(match[1].str(), "00000000") << "a message box must have no owner window";
      seen.messages.push_back({Unescape(match[3]), Unescape(match[2]), Hex(match[4])});
    } else if (std::regex_search(line, match, sleep)) {
      seen.waits.push_back(Hex(match[1]));
    }
  }
  EXPECT_TRUE(manifestRead) << "the program's manifest was not read";
  if (setting.windows == Presented::kWindows98) {
    EXPECT_EQ(presented, "4.10 platform 1") << "Wine did not present Windows 98";
  } else {
    EXPECT_NE(presented.find("platform 2"), std::string::npos) << presented;
  }
  seen.calls = traffic::TracedCalls(testproc::ReadFile(dir + "/trace.txt"));
  return seen;
}

class WineRowTest : public ::testing::TestWithParam<e2e::Row<Setting>> {
 protected:
  void SetUp() override { SkipWithoutWine(); }
};

TEST_P(WineRowTest, WindowsProgram) {
  traffic::ExpectSeen(*GetParam().c, RunWine(*GetParam().c, GetParam().run), true);
}

INSTANTIATE_TEST_SUITE_P(CurrentWindows, WineRowTest, ::testing::ValuesIn(e2e::RowsFor(Setting{})),
                         e2e::ParamName());
INSTANTIATE_TEST_SUITE_P(
    Windows98, WineRowTest,
    ::testing::ValuesIn(e2e::RowsFor(Setting{.windows = Presented::kWindows98})), e2e::ParamName());
// A driver built with the C convention leaves its arguments on the stack for
// the caller to remove; the program's call gate does.
INSTANTIATE_TEST_SUITE_P(
    CdeclDriver, WineRowTest,
    ::testing::ValuesIn(e2e::RowsFor(Setting{.convention = Convention::kCdecl})), e2e::ParamName());

// Each kind of driver, some built with the C convention and some with stdcall.
// Wine runs the program on this machine's own x87, whose registers fault on a
// stack overflow, so a driver leaving them full shows here too.
std::vector<e2e::Row<Setting>> WithDriver(Convention convention, const std::string& traits) {
  return e2e::RowsFor(
      Setting{.convention = convention, .driver = &e2e::DriverWith(traits, "Wine")});
}
INSTANTIATE_TEST_SUITE_P(CdeclDriverStoresAWholeWord, WineRowTest,
                         ::testing::ValuesIn(WithDriver(Convention::kCdecl, "stores-word")),
                         e2e::ParamName());
INSTANTIATE_TEST_SUITE_P(StdcallDriverReadsByteArgumentsWhole, WineRowTest,
                         ::testing::ValuesIn(WithDriver(Convention::kStdcall, "reads-whole-bytes")),
                         e2e::ParamName());
INSTANTIATE_TEST_SUITE_P(CdeclDriverLeavesTheX87Full, WineRowTest,
                         ::testing::ValuesIn(WithDriver(Convention::kCdecl, "leaves-x87-full")),
                         e2e::ParamName());

TEST(HarnessEndToEndTableTest, EveryKindOfDriverHasAWineRun) {
  EXPECT_EQ(e2e::DriversNotRun("Wine"), std::vector<std::string>{});
}

class WineFaultTest : public ::testing::TestWithParam<e2e::FaultSite> {
 protected:
  void SetUp() override { SkipWithoutWine(); }
};

TEST_P(WineFaultTest, WindowsProgramReportsTheCheckThatDetectedIt) {
  e2e::ExpectFaultAt(
      GetParam(), [](const e2e::Case& c) { return RunWine(c); }, WAVRIX_MINGW_TOOLS "addr2line",
      kBin + "/wavrix.exe");
}

INSTANTIATE_TEST_SUITE_P(CurrentWindows, WineFaultTest, ::testing::ValuesIn(e2e::FaultSites()),
                         e2e::ParamName());

TEST_F(WineTest, EachFaultReportsALocationOfItsOwn) {
  e2e::ExpectDistinctFaultLocations([](const e2e::Case& c) { return RunWine(c); });
}

// The unit tests built for Windows, so that both builds read numbers and
// drive the bus bit for bit alike: GoogleTest's own verdict, every test
// passed and there were tests.
TEST_F(WineTest, WindowsUnitTests) {
  const std::string tests = kBin + "/wavrix_unit_tests.exe";
  if (testproc::ReadFile(tests).empty()) {
    GTEST_SKIP() << "the Windows unit tests were not built (no GoogleTest sources for them)";
  }
  const testproc::Result run =
      testproc::Run({"bash", WAVRIX_WINE_RUN, WAVRIX_WINE_PREFIX, tests}, {}, scratch::Folder());
  EXPECT_EQ(run.exitCode, 0) << run.out.substr(run.out.size() > 4000 ? run.out.size() - 4000 : 0);
  EXPECT_TRUE(std::regex_search(run.out, std::regex(R"(\[  PASSED  \] [1-9][0-9]* tests?\.)")))
      << run.out.substr(run.out.size() > 4000 ? run.out.size() - 4000 : 0);
  EXPECT_EQ(run.out.find("[  FAILED  ]"), std::string::npos);
}

}  // namespace
