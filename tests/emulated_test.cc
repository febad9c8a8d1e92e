// The shipped Windows program on emulated processors: the exe runner, under
// qemu-i386 as an i486DX and as a Pentium, loads wavrix.exe as Windows would,
// and each row of the end-to-end table is a test of its own: on the i486 at
// the image's base, on the Pentium loaded elsewhere, and with a cdecl driver
// of each kind on both; then the fault locations, and the runner's own checks.
// Nothing here needs Wine or a kernel that runs 32-bit programs; without
// qemu-i386 or the Windows build these fail rather than skip. One set is
// always left out under QEMU: the drivers that need a real x87 (one that
// leaves every register in use), whose rows skip, saying why; the native and
// Wine runs hold those drivers to the table.
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
const std::string kExe = kBin + "/wavrix.exe";

// Why the emulated runs cannot run here, or "" when they can.
std::string EmulatorMissing() {
  if (std::system("command -v qemu-i386 >/dev/null 2>&1") != 0) {
    return "qemu-i386 is not installed (Debian package qemu-user): the emulated runs cannot run";
  }
  if (testproc::ReadFile(kExe).empty()) {
    return "the Windows build is missing";
  }
  return "";
}

// Every test here starts with this: found once for the whole test program.
void RequireEmulator() {
  static const std::string missing = EmulatorMissing();
  if (!missing.empty()) {
    FAIL() << missing;
  }
}

class EmulatedTest : public ::testing::Test {
 protected:
  void SetUp() override { RequireEmulator(); }
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
traffic::Seen RunEmulated(const e2e::Case& c, const std::string& cpu, Load load,
                          Convention convention = Convention::kStdcall,
                          const e2e::Driver& driver = e2e::kBareDriver) {
  const std::string dir = scratch::Folder();
  std::vector<std::string> env = e2e::CardEnv(c, driver);
  env.push_back("WAVRIX_SIM_TRACE=trace.txt");
  const testproc::Result result = RunOn(cpu, kExe, c.commandLine, env, dir, load, convention);

  traffic::Seen seen = e2e::SeenOf(result);
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
  seen.calls = traffic::TracedCalls(testproc::ReadFile(dir + "/trace.txt"));
  return seen;
}

// What one emulated run puts the program on and in front of.
struct EmulatedRun {
  const char* cpu = "486";
  Load load = Load::kAtItsBase;
  Convention convention = Convention::kStdcall;
  const e2e::Driver* driver = &e2e::kBareDriver;
};

// A driver that leaves every x87 register in use proves something only on a
// processor whose x87 faults on a register-stack overflow: nine loads after
// FNINIT give the status word 0041 (invalid operation, stack fault) on a real
// one. QEMU's x87 gives 0000. The status the emulator gives, found once for
// the whole test program, or what went wrong finding it.
struct X87Probe {
  std::string status;
  std::string trouble;
};

X87Probe ProbeX87() {
  const testproc::Result probe = testproc::Run(
      {"qemu-i386", "-cpu", "486", WAVRIX_RUNNER, "--probe-x87"}, {}, scratch::Folder());
  std::smatch match;
  if (probe.exitCode != 0 ||
      !std::regex_search(probe.err, match,
                         std::regex("x87 status after nine loads: ([0-9A-F]{4})"))) {
    return {"", "the runner's x87 probe failed: " + probe.err};
  }
  return {match[1].str(), ""};
}

class EmulatedRowTest : public ::testing::TestWithParam<e2e::Row<EmulatedRun>> {
 protected:
  void SetUp() override {
    RequireEmulator();
    if (HasFatalFailure() || !GetParam().run.driver->needsRealX87) {
      return;
    }
    static const X87Probe x87 = ProbeX87();
    if (!x87.trouble.empty()) {
      FAIL() << x87.trouble;
    }
    if (x87.status != "0041") {
      GTEST_SKIP() << "left out: this emulator's x87 does not fault on a register-stack overflow"
                   << " (status " << x87.status << " after nine loads, 0041 on a real x87), so"
                   << " a driver that leaves it full shows nothing here; the native and Wine runs"
                   << " hold such drivers to the table";
    }
  }
};

TEST_P(EmulatedRowTest, WindowsProgram) {
  const EmulatedRun& run = GetParam().run;
  traffic::ExpectSeen(*GetParam().c,
                      RunEmulated(*GetParam().c, run.cpu, run.load, run.convention, *run.driver),
                      true);
}

INSTANTIATE_TEST_SUITE_P(I486, EmulatedRowTest, ::testing::ValuesIn(e2e::RowsFor(EmulatedRun{})),
                         e2e::ParamName());
// Loaded away from its base, as current Windows loads a dynamic-base program,
// so that every address the relocations name is moved too.
INSTANTIATE_TEST_SUITE_P(PentiumLoadedElsewhere, EmulatedRowTest,
                         ::testing::ValuesIn(e2e::RowsFor(EmulatedRun{.cpu = "pentium",
                                                                      .load = Load::kElsewhere})),
                         e2e::ParamName());

// A driver built with the C convention, and each kind of driver the emulated
// processors can show, on both of them, loaded elsewhere; a driver that needs
// a real x87 on the i486 at its base.
std::vector<e2e::Row<EmulatedRun>> CdeclOn(const char* cpu, const std::string& traits,
                                           Load load = Load::kElsewhere) {
  return e2e::RowsFor(EmulatedRun{
      .cpu = cpu,
      .load = load,
      .convention = Convention::kCdecl,
      .driver = traits.empty() ? &e2e::kBareDriver : &e2e::DriverWith(traits, "emulated")});
}
INSTANTIATE_TEST_SUITE_P(I486CdeclDriver, EmulatedRowTest, ::testing::ValuesIn(CdeclOn("486", "")),
                         e2e::ParamName());
INSTANTIATE_TEST_SUITE_P(PentiumCdeclDriver, EmulatedRowTest,
                         ::testing::ValuesIn(CdeclOn("pentium", "")), e2e::ParamName());
INSTANTIATE_TEST_SUITE_P(I486CdeclDriverStoresAWholeWord, EmulatedRowTest,
                         ::testing::ValuesIn(CdeclOn("486", "stores-word")), e2e::ParamName());
INSTANTIATE_TEST_SUITE_P(PentiumCdeclDriverStoresAWholeWord, EmulatedRowTest,
                         ::testing::ValuesIn(CdeclOn("pentium", "stores-word")), e2e::ParamName());
INSTANTIATE_TEST_SUITE_P(I486CdeclDriverReadsByteArgumentsWhole, EmulatedRowTest,
                         ::testing::ValuesIn(CdeclOn("486", "reads-whole-bytes")),
                         e2e::ParamName());
INSTANTIATE_TEST_SUITE_P(PentiumCdeclDriverReadsByteArgumentsWhole, EmulatedRowTest,
                         ::testing::ValuesIn(CdeclOn("pentium", "reads-whole-bytes")),
                         e2e::ParamName());
INSTANTIATE_TEST_SUITE_P(I486CdeclDriverLeavesTheX87Full, EmulatedRowTest,
                         ::testing::ValuesIn(CdeclOn("486", "leaves-x87-full", Load::kAtItsBase)),
                         e2e::ParamName());

TEST(HarnessEndToEndTableTest, EveryKindOfDriverHasAnEmulatedRun) {
  EXPECT_EQ(e2e::DriversNotRun("emulated"), std::vector<std::string>{});
}

class EmulatedFaultTest : public ::testing::TestWithParam<e2e::FaultSite> {
 protected:
  void SetUp() override { RequireEmulator(); }
};

TEST_P(EmulatedFaultTest, WindowsProgramReportsTheCheckThatDetectedIt) {
  e2e::ExpectFaultAt(
      GetParam(), [](const e2e::Case& c) { return RunEmulated(c, "486", Load::kElsewhere); },
      WAVRIX_MINGW_TOOLS "addr2line", kExe);
}

INSTANTIATE_TEST_SUITE_P(I486LoadedElsewhere, EmulatedFaultTest,
                         ::testing::ValuesIn(e2e::FaultSites()), e2e::ParamName());

TEST_F(EmulatedTest, EachFaultReportsALocationOfItsOwn) {
  e2e::ExpectDistinctFaultLocations(
      [](const e2e::Case& c) { return RunEmulated(c, "486", Load::kElsewhere); });
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
    const testproc::Result run = RunOn(row.cpu, probe, "cmov_probe.exe", {}, scratch::Folder());
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
  const std::string dir = scratch::Folder();
  testproc::WriteFile(dir + "/other.exe", image);
  const testproc::Result run = RunOn("486", dir + "/other.exe", "other.exe 98.5", {}, dir);
  EXPECT_EQ(run.exitCode, exe_runner::ImportRefused);
  EXPECT_NE(run.err.find("refused import KERNEL32.dll!GetCommandLineW"), std::string::npos)
      << run.err;
}

}  // namespace
