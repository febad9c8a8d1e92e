// The shipped Windows program on emulated processors: the exe runner, under
// qemu-i386 as an i486DX and as a Pentium, loads wavrix.exe as Windows would
// and goes through the end-to-end table. Nothing here needs Wine or a kernel
// that runs 32-bit programs, so these runs are never skipped.
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/end_to_end_cases.h"
#include "tests/process.h"
#include "tools/exe_runner/exit_codes.h"

namespace {

const std::string kBin = WAVRIX_WIN32_BIN;
const std::string kExe = kBin + "/wavrix.exe";

class EmulatedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system("command -v qemu-i386 >/dev/null 2>&1"), 0)
        << "qemu-i386 is not installed (Debian package qemu-user): the emulated runs cannot run";
    ASSERT_FALSE(testproc::ReadFile(kExe).empty()) << "the Windows build is missing";
  }
};

// Where the runner loads the program: at its image base, or elsewhere, with
// its base relocations applied.
enum class Load { kAtItsBase, kElsewhere };

// How the runner gives the card's operations: as a stdcall driver (it removes
// its arguments) or as one built with the C convention (the caller does).
enum class Convention { kStdcall, kCdecl };

testproc::Result RunOn(const std::string& cpu, const std::string& exe,
                       const std::string& commandLine, const std::vector<std::string>& env,
                       const std::string& dir, Load load = Load::kAtItsBase,
                       Convention convention = Convention::kStdcall) {
  std::vector<std::string> argv = {"qemu-i386", "-cpu", cpu, WAVRIX_RUNNER};
  if (load == Load::kElsewhere) {
    argv.emplace_back("--elsewhere");
  }
  if (convention == Convention::kCdecl) {
    argv.emplace_back("--cdecl");
  }
  argv.insert(argv.end(), {exe, commandLine});
  return testproc::Run(argv, env, dir);
}

// Undoes the runner's escapes: \" and \\, and \xHH for any other byte.
std::string Unescape(const std::string& quoted) {
  std::string text;
  for (size_t i = 0; i < quoted.size(); ++i) {
    if (quoted[i] != '\\' || i + 1 == quoted.size()) {
      text += quoted[i];
    } else if (quoted[i + 1] == 'x' && i + 3 < quoted.size()) {
      text += static_cast<char>(std::stoi(quoted.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      text += quoted[++i];
    }
  }
  return text;
}

// The program run by the runner with the exact command line; the runner
// writes every MessageBoxA and Sleep on standard error.
e2e::Seen RunEmulated(const e2e::Case& c, const std::string& cpu, Load load,
                      Convention convention = Convention::kStdcall,
                      const e2e::Driver& driver = e2e::kBareDriver) {
  const std::string dir = e2e::MakeTempDir();
  std::vector<std::string> env = e2e::CardEnv(c, driver);
  env.push_back("WAVRIX_SIM_TRACE=trace.txt");
  const testproc::Result result = RunOn(cpu, kExe, c.commandLine, env, dir, load, convention);

  e2e::Seen seen = e2e::SeenOf(result);
  seen.waitsSeen = true;
  const std::regex messageBox(
      R"re(^runner: MessageBoxA\(([0-9A-F]{8}), "((?:[^"\\]|\\.)*)", "((?:[^"\\]|\\.)*)", ([0-9A-F]{8})\) = 1$)re");
  const std::regex sleep(R"(^runner: Sleep\((\d+)\)$)");
  std::smatch match;
  std::istringstream lines(result.err);
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, match, messageBox)) {
      EXPECT_EQ(match[1].str(), "00000000") << "a message box must have no owner window";
      seen.messages.push_back({Unescape(match[3]), Unescape(match[2]),
                               static_cast<uint32_t>(std::stoul(match[4], nullptr, 16))});
    } else if (std::regex_match(line, match, sleep)) {
      seen.waits.push_back(static_cast<uint32_t>(std::stoul(match[1])));
    }
  }
  seen.calls = e2e::TracedCalls(testproc::ReadFile(dir + "/trace.txt"));
  return seen;
}

TEST_F(EmulatedTest, WindowsProgramOnAnI486) {
  for (const e2e::Case& c : e2e::Cases()) {
    e2e::ExpectSeen(c, RunEmulated(c, "486", Load::kAtItsBase), true);
  }
}

// Loaded away from its base, as current Windows loads a dynamic-base program,
// so that every address the relocations name is moved too.
TEST_F(EmulatedTest, WindowsProgramOnAPentiumLoadedElsewhere) {
  for (const e2e::Case& c : e2e::Cases()) {
    e2e::ExpectSeen(c, RunEmulated(c, "pentium", Load::kElsewhere), true);
  }
}

// A driver built with the C convention, and each kind of driver the emulated
// processors can show, on both of them.
TEST_F(EmulatedTest, WindowsProgramWithACdeclDriverOfEveryKind) {
  std::vector<const e2e::Driver*> drivers = {&e2e::kBareDriver};
  for (const e2e::Driver& driver : e2e::Drivers()) {
    if (!driver.needsRealX87) {
      drivers.push_back(&driver);
    }
  }
  for (const char* cpu : {"486", "pentium"}) {
    for (const e2e::Driver* driver : drivers) {
      SCOPED_TRACE(std::string(cpu) + ", " + driver->name);
      for (const e2e::Case& c : e2e::Cases()) {
        e2e::ExpectSeen(c, RunEmulated(c, cpu, Load::kElsewhere, Convention::kCdecl, *driver),
                        true);
      }
    }
  }
}

// A driver that leaves every x87 register in use proves something only on a
// processor whose x87 faults on a register-stack overflow: nine loads after
// FNINIT give the status word 0041 (invalid operation, stack fault) on a real
// one. QEMU's x87 gives 0000, so there those drivers are left out, saying
// so, and the native and Wine runs hold them to the table.
TEST_F(EmulatedTest, WindowsProgramWithADriverThatNeedsARealX87) {
  const testproc::Result probe = testproc::Run(
      {"qemu-i386", "-cpu", "486", WAVRIX_RUNNER, "--probe-x87"}, {}, e2e::MakeTempDir());
  ASSERT_EQ(probe.exitCode, 0) << probe.err;
  std::smatch match;
  ASSERT_TRUE(
      std::regex_search(probe.err, match, std::regex("x87 status after nine loads: ([0-9A-F]{4})")))
      << probe.err;
  if (match[1].str() != "0041") {
    GTEST_SKIP() << "left out: this emulator's x87 does not fault on a register-stack overflow"
                 << " (status " << match[1].str() << " after nine loads, 0041 on a real x87), so"
                 << " a driver that leaves it full shows nothing here; the native and Wine runs"
                 << " hold such drivers to the table";
  }
  for (const e2e::Driver& driver : e2e::Drivers()) {
    if (driver.needsRealX87) {
      SCOPED_TRACE(driver.name);
      for (const e2e::Case& c : e2e::Cases()) {
        e2e::ExpectSeen(c, RunEmulated(c, "486", Load::kAtItsBase, Convention::kCdecl, driver),
                        true);
      }
    }
  }
}

TEST_F(EmulatedTest, WindowsFaultLocationPointsAtTheDetectingCode) {
  e2e::ExpectFaultLocations(
      [](const e2e::Case& c) { return RunEmulated(c, "486", Load::kElsewhere); },
      WAVRIX_MINGW_TOOLS "addr2line", kExe);
}

// The emulator and the exe runner are tools of the tests; their own checks
// run apart from the program's, under the harness label.
class HarnessEmulatorTest : public EmulatedTest {};

// The check bites: a program of a few lines built for the i686, whose one
// choice the compiler makes with a CMOV (the file checks find it there), is
// stopped on the i486 and the Pentium, and runs on the Pentium II, which has
// the instruction.
TEST_F(HarnessEmulatorTest, AnInstructionTheProcessorLacksStopsTheProgram) {
  const std::string probe = kBin + "/cmov_probe.exe";
  struct Row {
    const char* cpu;
    int exitCode;
    const char* said;
  };
  const Row rows[] = {
      {"486", exe_runner::ProcessorFault, "runner: illegal instruction at "},
      {"pentium", exe_runner::ProcessorFault, "runner: illegal instruction at "},
      {"pentium2", 7, "runner: ExitProcess(7)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.cpu);
    const testproc::Result run = RunOn(row.cpu, probe, "cmov_probe.exe", {}, e2e::MakeTempDir());
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_NE(run.err.find(row.said), std::string::npos) << run.err;
  }
}

// The runner gives the thirteen functions and nothing else: the exe with one
// import renamed is refused before it runs.
TEST_F(HarnessEmulatorTest, TheRunnerRefusesAnyOtherImport) {
  std::string image = testproc::ReadFile(kExe);
  // The name stands in the import table, and in the symbols the loader ignores.
  const std::string name("GetCommandLineA\0", 16);
  ASSERT_NE(image.find(name), std::string::npos);
  for (size_t at = image.find(name); at != std::string::npos; at = image.find(name, at + 1)) {
    image[at + name.size() - 2] = 'W';
  }
  const std::string dir = e2e::MakeTempDir();
  testproc::WriteFile(dir + "/other.exe", image);
  const testproc::Result run = RunOn("486", dir + "/other.exe", "other.exe 98.5", {}, dir);
  EXPECT_EQ(run.exitCode, exe_runner::ImportRefused);
  EXPECT_NE(run.err.find("refused import KERNEL32.dll!GetCommandLineW"), std::string::npos)
      << run.err;
}

}  // namespace
