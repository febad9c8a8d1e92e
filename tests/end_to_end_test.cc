// Runs the built programs against the simulated card and checks what a user
// and the card see: the messages, the exit code, nothing on standard output,
// the bus traffic the card traced and the waits. The Linux program runs
// directly; the Windows program, where it was built, runs under Wine, started
// with exact command lines. Both go through the same case table.
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/end_to_end_cases.h"
#include "tests/process.h"

namespace {

struct Seen {
  int exitCode = -1;
  std::string out;
  std::vector<e2e::Message> messages;
  std::vector<std::string> calls;
  std::vector<uint32_t> waits;
  bool waitsSeen = false;  ///< whether this run can see the waits
  std::string raw;         ///< everything the run printed, for failure reports
};

std::string MakeTempDir() {
  std::string pattern = ::testing::TempDir() + "wavrix_e2e_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot make a temporary directory";
  }
  return pattern;
}

// The call part of each trace line: "btvid_32: CALL  meaning", or with the
// time column "btvid_32:     30 ms  CALL  meaning"; the times, where there are
// any, go to `timesMs`.
std::vector<std::string> TracedCalls(const std::string& trace,
                                     std::vector<uint32_t>* timesMs = nullptr) {
  std::vector<std::string> calls;
  std::istringstream lines(trace);
  std::string line;
  const std::string prefix = "btvid_32: ";
  const std::regex timed(R"(^\s*(\d+) ms  )");
  std::smatch match;
  while (std::getline(lines, line)) {
    if (line.rfind(prefix, 0) == 0) {
      line = line.substr(prefix.size());
      if (std::regex_search(line, match, timed)) {
        if (timesMs != nullptr) {
          timesMs->push_back(static_cast<uint32_t>(std::stoul(match[1].str())));
        }
        line = match.suffix().str();
      }
      calls.push_back(line.substr(0, line.find("  ")));
    }
  }
  return calls;
}

std::vector<std::string> StatusEnv(const e2e::Case& c) {
  std::vector<std::string> env;
  if (!c.status.empty()) {
    env.push_back("WAVRIX_SIM_STATUS=" + c.status);
  }
  return env;
}

// The Linux program: argv[1] as given; each message is a line
// "CAPTION: TEXT" on standard error.
Seen RunNative(const e2e::Case& c) {
  const std::string dir = MakeTempDir();
  std::vector<std::string> argv = {WAVRIX_EXE};
  if (c.argument) {
    argv.push_back(*c.argument);
  }
  std::vector<std::string> env = StatusEnv(c);
  env.push_back("WAVRIX_SIM_TRACE=" + dir + "/trace.txt");
  const testproc::Result result = testproc::Run(argv, env, dir);

  Seen seen;
  seen.exitCode = result.exitCode;
  seen.out = result.out;
  seen.raw = result.err;
  std::istringstream lines(result.err);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t colon = line.find(": ");
    seen.messages.push_back(colon == std::string::npos
                                ? e2e::Message{"", line, 0}
                                : e2e::Message{line.substr(0, colon), line.substr(colon + 2), 0});
  }
  seen.calls = TracedCalls(testproc::ReadFile(dir + "/trace.txt"));
  return seen;
}

void ExpectSeen(const e2e::Case& c, const Seen& seen, bool checkStyle) {
  SCOPED_TRACE(c.name);
  EXPECT_EQ(seen.exitCode, c.exitCode);
  EXPECT_EQ(seen.out, "");
  ASSERT_EQ(seen.messages.size(), c.messages.size()) << seen.raw.substr(0, 2000);
  for (size_t i = 0; i < c.messages.size(); ++i) {
    EXPECT_EQ(seen.messages[i].caption, c.messages[i].caption);
    EXPECT_TRUE(std::regex_match(seen.messages[i].text, std::regex(c.messages[i].text)))
        << seen.messages[i].text;
    if (checkStyle) {
      EXPECT_EQ(seen.messages[i].style, c.messages[i].style);
    }
  }
  EXPECT_EQ(seen.calls, c.calls);
  if (seen.waitsSeen) {
    EXPECT_EQ(seen.waits, c.waits);
  }
}

TEST(EndToEndTest, LinuxProgramAgainstTheSimulatedCard) {
  for (const e2e::Case& c : e2e::Cases()) {
    ExpectSeen(c, RunNative(c), false);
  }
}

// The waits the Linux program really makes, seen in the simulated card's time
// column: for each traced call, the least time that must have passed since
// the call before it. Only lower bounds: a busy machine may make any wait
// longer, never shorter. (The column counts whole milliseconds since the first
// call; a gap of at least N ms never shows as less than N.)
struct TimedCase {
  const char* name;
  const char* argument;
  const char* status;  ///< WAVRIX_SIM_STATUS
  std::vector<uint32_t> leastGapsMs;
};

TEST(EndToEndTest, LinuxProgramReallyWaits) {
  const std::vector<uint32_t> setUp = {0, 0, 0, 0};
  auto join = [&](std::vector<uint32_t> tail) {
    std::vector<uint32_t> all = setUp;
    all.insert(all.end(), tail.begin(), tail.end());
    return all;
  };
  const TimedCase cases[] = {
      // divider, status, final pair, then the first poll 30 ms on, locked;
      // 1 ms more before the pins.
      {"lock at the first poll", "98.5", "40", join({0, 0, 0, 30, 1, 0, 0})},
      // divider, status with bit 5, the preliminary pair, 30 ms, the final
      // pair, five polls 30 ms apart that never see lock, 1 ms, the pins.
      {"slow tuner that never locks", "100", "20,00",
       join({0, 0, 0, 30, 30, 30, 30, 30, 30, 1, 0, 0})},
      // the same, locked at the third poll (one read fails on the way)
      {"slow tuner that locks late", "100", "20,00,fail,40",
       join({0, 0, 0, 30, 30, 30, 30, 1, 0, 0})},
  };
  for (const TimedCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = MakeTempDir();
    testproc::Run({WAVRIX_EXE, c.argument},
                  {"WAVRIX_SIM_TRACE=" + dir + "/trace.txt", "WAVRIX_SIM_TIME=1",
                   std::string("WAVRIX_SIM_STATUS=") + c.status},
                  dir);
    std::vector<uint32_t> times;
    const std::vector<std::string> calls =
        TracedCalls(testproc::ReadFile(dir + "/trace.txt"), &times);
    ASSERT_EQ(times.size(), calls.size());
    ASSERT_EQ(times.size(), c.leastGapsMs.size());
    for (size_t i = 1; i < times.size(); ++i) {
      EXPECT_GE(times[i] - times[i - 1], c.leastGapsMs[i]) << "before " << calls[i];
    }
  }
}

TEST(EndToEndTest, TraceDecodesWhatTheTunerWasTold) {
  const std::string dir = MakeTempDir();
  testproc::Run({WAVRIX_EXE, "98.5"}, {"WAVRIX_SIM_TRACE=" + dir + "/trace.txt"}, dir);
  const std::string trace = testproc::ReadFile(dir + "/trace.txt");
  for (const char* meaning : {"divider 1747 -> 98.500 MHz station", "port byte A5",
                              "GPIO outputs 8-11 enabled", "data bits 9..11 = 2"}) {
    EXPECT_NE(trace.find(meaning), std::string::npos) << meaning << "\n" << trace;
  }
}

// The program is bound to the card library beside it by the nine names
// alone: any library that has them stands in, here a bare one in C.
TEST(EndToEndTest, RunsAgainstAnyLibraryWithTheNineOperations) {
  const std::string dir = MakeTempDir();
  testproc::WriteFile(dir + "/wavrix", testproc::ReadFile(WAVRIX_EXE));
  testproc::WriteFile(dir + "/libbtvid_32.so",
                      testproc::ReadFile(std::string(WAVRIX_STAND_IN_DIR) + "/libbtvid_32.so"));
  ASSERT_EQ(chmod((dir + "/wavrix").c_str(), 0700), 0);
  // The trace variable proves which library ran: the bare one writes none.
  const std::vector<std::string> env = {"WAVRIX_SIM_TRACE=" + dir + "/trace.txt"};
  const testproc::Result tuned = testproc::Run({dir + "/wavrix", "98.5"}, env, dir);
  EXPECT_EQ(tuned.exitCode, 0);
  EXPECT_EQ(tuned.err, "");
  EXPECT_TRUE(testproc::ReadFile(dir + "/trace.txt").empty());
  const testproc::Result invalid = testproc::Run({dir + "/wavrix", "abc"}, env, dir);
  EXPECT_EQ(invalid.exitCode, 0);
  EXPECT_EQ(invalid.err, "Wavrix error: Invalid frequency parameter\n");
}

// The names of the function (and the functions inlined there) at `offset`
// in `image`, from the build's own debug information.
std::string CodeAt(const std::string& addr2line, const std::string& image, uint64_t address) {
  char hex[32];
  std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(address));
  return testproc::Capture(addr2line + " -f -i -C -e " + image + " " + hex);
}

struct LocationCase {
  const char* argument;
  // The code at the reported offset: its file, or its function where the
  // compiler keeps no line for it.
  const char* source;
  const char* function;
};
const LocationCase kLocationCases[] = {
    // the rounding to 64 bits
    {"1e19", "app/frequency_command.cc", "app::RunFrequencyCommand"},
    // the store of the MHz product
    {"-1e303", "app/frequency_command.cc", "app::RunFrequencyCommand"},
    // the store of the reading
    {"1e400", "app/frequency_command.cc", "app::RunFrequencyCommand"},
    // scaling while reading
    {"1e5119", "app/decimal.cc", "decimal::"},
};

bool IsCodeOf(const std::string& code, const LocationCase& c) {
  return code.find(c.source) != std::string::npos || code.find(c.function) != std::string::npos;
}

uint32_t ReportedOffset(const std::string& text) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex("Runtime error \\d+ at ([0-9A-F]{8})"))) {
    ADD_FAILURE() << "no fault report in: " << text.substr(0, 500);
    return 0;
  }
  return static_cast<uint32_t>(std::stoul(match[1].str(), nullptr, 16));
}

// The report's location is an offset into the image; the debug information of
// the same build names the code there, and it must be the check that detected
// the fault.
TEST(EndToEndTest, FaultLocationPointsAtTheDetectingCode) {
  if (std::system("addr2line --version >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "addr2line is not installed";
  }
  for (const LocationCase& c : kLocationCases) {
    SCOPED_TRACE(c.argument);
    const std::string dir = MakeTempDir();
    const testproc::Result run = testproc::Run({WAVRIX_EXE, c.argument}, {}, dir);
    const std::string code = CodeAt("addr2line", WAVRIX_EXE, ReportedOffset(run.err));
    EXPECT_TRUE(IsCodeOf(code, c)) << code;
  }
}

#if defined(WAVRIX_WIN32_BIN)

// Where the Windows build and Wine are, or why the Wine tests cannot run.
std::string WineMissing() {
  if (std::system("command -v wine >/dev/null 2>&1") != 0) {
    return "Wine is not installed";
  }
  if (testproc::ReadFile(std::string(WAVRIX_WIN32_BIN) + "/wavrix.exe").empty()) {
    return "the Windows build is missing";
  }
  return "";
}

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

// The Windows program under Wine, started by the launcher with the exact
// command line; Wine's relay log shows every MessageBoxA and Sleep it made.
// For Windows 98 the program runs as a copy named wavrix98.exe, which the
// tests' Wine prefix presents with that version (its AppDefaults).
Seen RunWine(const e2e::Case& c, Presented windows = Presented::kCurrent) {
  const std::string dir = MakeTempDir();
  const std::string bin = WAVRIX_WIN32_BIN;
  std::string exe = bin + "/wavrix.exe";
  if (windows == Presented::kWindows98) {
    exe = dir + "/wavrix98.exe";
    testproc::WriteFile(exe, testproc::ReadFile(bin + "/wavrix.exe"));
    testproc::WriteFile(dir + "/BTVID_32.DLL", testproc::ReadFile(bin + "/BTVID_32.DLL"));
  }
  testproc::WriteFile(dir + "/command-line", c.commandLine);
  std::vector<std::string> env = StatusEnv(c);
  env.push_back("WAVRIX_SIM_TRACE=trace.txt");
  // Each line of the log starts with the process and thread ids; Wine's own
  // services log their calls too. +ver tells the version each process got,
  // +actctx how the program's manifest was read.
  env.push_back("WINEDEBUG=+relay,+pid,+ver,+actctx");
  const testproc::Result result =
      testproc::Run({"bash", WAVRIX_WINE_RUN, WAVRIX_WINE_PREFIX, bin + "/launcher.exe",
                     WindowsPath(exe), "command-line"},
                    env, dir);

  Seen seen;
  seen.exitCode = result.exitCode;
  seen.out = result.out;
  seen.raw = result.err;
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
  if (windows == Presented::kWindows98) {
    EXPECT_EQ(presented, "4.10 platform 1") << "Wine did not present Windows 98";
  } else {
    EXPECT_NE(presented.find("platform 2"), std::string::npos) << presented;
  }
  seen.calls = TracedCalls(testproc::ReadFile(dir + "/trace.txt"));
  return seen;
}

TEST(EndToEndTest, WindowsProgramUnderWine) {
  if (const std::string missing = WineMissing(); !missing.empty()) {
    GTEST_SKIP() << missing;
  }
  for (const e2e::Case& c : e2e::Cases()) {
    ExpectSeen(c, RunWine(c), true);
  }
}

TEST(EndToEndTest, WindowsProgramUnderWinePresentingWindows98) {
  if (const std::string missing = WineMissing(); !missing.empty()) {
    GTEST_SKIP() << missing;
  }
  for (const e2e::Case& c : e2e::Cases()) {
    ExpectSeen(c, RunWine(c, Presented::kWindows98), true);
  }
}

TEST(EndToEndTest, WindowsFaultLocationPointsAtTheDetectingCode) {
  if (const std::string missing = WineMissing(); !missing.empty()) {
    GTEST_SKIP() << missing;
  }
  const std::string exe = std::string(WAVRIX_WIN32_BIN) + "/wavrix.exe";
  // The offset is from the image's base; the debug information is laid out
  // for the base the exe was linked for.
  std::smatch match;
  const std::string header = testproc::Capture("i686-w64-mingw32-objdump -p " + exe);
  ASSERT_TRUE(std::regex_search(header, match, std::regex("ImageBase\\s+([0-9a-fA-F]+)")));
  const uint64_t imageBase = std::stoull(match[1].str(), nullptr, 16);
  for (const LocationCase& c : kLocationCases) {
    SCOPED_TRACE(c.argument);
    e2e::Case run;
    run.commandLine = std::string("wavrix.exe ") + c.argument;
    const Seen seen = RunWine(run);
    ASSERT_EQ(seen.messages.size(), 1u);
    const uint32_t offset = ReportedOffset(seen.messages[0].text);
    const std::string code = CodeAt("i686-w64-mingw32-addr2line", exe, imageBase + offset);
    EXPECT_TRUE(IsCodeOf(code, c)) << code;
  }
}

#endif  // WAVRIX_WIN32_BIN

}  // namespace
