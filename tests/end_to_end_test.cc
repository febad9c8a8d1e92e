// Runs the Linux program against the simulated card and checks what a user
// and the card see: the messages, the exit code, nothing on standard output,
// the bus traffic the card traced. Each row of the end-to-end table is a test
// of its own, once against the bare card and once against each kind of
// driver; the real waits, the fault locations, a stand-in card library and
// the simulated card itself have tests of their own. The waits a row names
// are left to the Windows runs, which see each one asked for; here only
// their least lengths are held. The same table runs the Windows program under
// Wine (wine_test.cc) and on emulated processors (emulated_test.cc).
#include <sys/stat.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "tests/end_to_end_cases.h"
#include "tests/process.h"
#include "tests/scratch.h"
#include "tests/traffic.h"

namespace {

using traffic::TracedCalls;

// The Linux program: argv[1] as given; each message is a line
// "CAPTION: TEXT" on standard error.
traffic::Seen RunNative(const e2e::Case& c, const e2e::Driver& driver = e2e::kBareDriver) {
  const std::string dir = scratch::Folder();
  std::vector<std::string> argv = {WAVRIX_EXE};
  if (c.argument) {
    argv.push_back(*c.argument);
  }
  std::vector<std::string> env = e2e::CardEnv(c, driver);
  env.push_back("WAVRIX_SIM_TRACE=" + dir + "/trace.txt");
  const testproc::Result result = testproc::Run(argv, env, dir);

  traffic::Seen seen = e2e::SeenOf(result);
  std::istringstream lines(result.err);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t colon = line.find(": ");
    seen.messages.push_back(
        colon == std::string::npos
            ? traffic::Message{"", line, 0}
            : traffic::Message{line.substr(0, colon), line.substr(colon + 2), 0});
  }
  seen.calls = TracedCalls(testproc::ReadFile(dir + "/trace.txt"));
  return seen;
}

// What a Linux run puts the program in front of: the driver the simulated
// card is built as.
struct LinuxRun {
  const e2e::Driver* driver;
};

class EndToEndRowTest : public ::testing::TestWithParam<e2e::Row<LinuxRun>> {};

TEST_P(EndToEndRowTest, LinuxProgram) {
  traffic::ExpectSeen(*GetParam().c, RunNative(*GetParam().c, *GetParam().run.driver), false);
}

INSTANTIATE_TEST_SUITE_P(BareDriver, EndToEndRowTest,
                         ::testing::ValuesIn(e2e::RowsFor(LinuxRun{&e2e::kBareDriver})),
                         e2e::ParamName());

// However the driver was built, the program sends and shows the same: a read
// that stores a word must not overwrite the program's own data (the sanitizer
// build sees any such store), byte arguments read whole must still be the
// bytes, and registers left in use must not turn a frequency into a fault.
std::vector<e2e::Row<LinuxRun>> WithDriver(const std::string& traits) {
  return e2e::RowsFor(LinuxRun{&e2e::DriverWith(traits, "Linux")});
}
INSTANTIATE_TEST_SUITE_P(DriverStoresAWholeWord, EndToEndRowTest,
                         ::testing::ValuesIn(WithDriver("stores-word")), e2e::ParamName());
INSTANTIATE_TEST_SUITE_P(DriverReadsByteArgumentsWhole, EndToEndRowTest,
                         ::testing::ValuesIn(WithDriver("reads-whole-bytes")), e2e::ParamName());
INSTANTIATE_TEST_SUITE_P(DriverLeavesTheX87Full, EndToEndRowTest,
                         ::testing::ValuesIn(WithDriver("leaves-x87-full")), e2e::ParamName());

// The table's names are its tests' names: identifiers, so that a filter or a
// ctest pattern picks one row, and unique, so that it picks only that one.
TEST(HarnessEndToEndTableTest, NamesEachRowAndFaultSiteByAnIdentifier) {
  std::set<std::string> names;
  auto expectName = [&](const std::string& name) {
    EXPECT_TRUE(std::regex_match(name, std::regex("[A-Z][A-Za-z0-9_]*"))) << name;
    EXPECT_TRUE(names.insert(name).second) << name << " twice";
  };
  for (const e2e::Case& c : e2e::Cases()) {
    expectName(c.name);
  }
  for (const e2e::FaultSite& site : e2e::FaultSites()) {
    expectName(site.name);
  }
}

TEST(HarnessEndToEndTableTest, EveryKindOfDriverHasALinuxRun) {
  EXPECT_EQ(e2e::DriversNotRun("Linux"), std::vector<std::string>{});
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
    const std::string dir = scratch::Folder();
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

TEST(HarnessSimulatedCardTest, TraceDecodesWhatTheTunerWasTold) {
  const std::string dir = scratch::Folder();
  testproc::Run({WAVRIX_EXE, "98.5"}, {"WAVRIX_SIM_TRACE=" + dir + "/trace.txt"}, dir);
  const std::string trace = testproc::ReadFile(dir + "/trace.txt");
  for (const char* meaning : {"port byte A5", "GPIO outputs 8-11 enabled", "data bits 9..11 = 2"}) {
    EXPECT_NE(trace.find(meaning), std::string::npos) << meaning << "\n" << trace;
  }
}

// The trace names the station the tuner really sits on, the oscillator less
// 10.7 MHz, and where that lies against the 50 kHz broadcast raster: on a
// channel, 12.5 kHz off one, or midway between two. Never a rounded channel
// the tuner is not on.
TEST(HarnessSimulatedCardTest, TraceNamesTheFrequencyReallyTuned) {
  const std::pair<const char*, const char*> rows[] = {
      {"98.5", "divider 1747 -> 98.4875 MHz, 12.5 kHz below the 98.500 MHz channel"},
      {"98.4", "divider 1746 -> 98.4250 MHz, midway between the 98.400 and 98.450 MHz channels"},
      {"107.9",
       "divider 1898 -> 107.9250 MHz, midway between the 107.900 and 107.950 MHz channels"},
      {"100", "divider 1771 -> 99.9875 MHz, 12.5 kHz below the 100.000 MHz channel"},
      {"98.6", "divider 1749 -> 98.6125 MHz, 12.5 kHz above the 98.600 MHz channel"},
      {"89.3", "divider 1600 -> 89.3000 MHz, on the 89.300 MHz channel"},
      {"87.5", "divider 1571 -> 87.4875 MHz, 12.5 kHz below the 87.500 MHz channel"},
  };
  for (const auto& [argument, meaning] : rows) {
    SCOPED_TRACE(argument);
    const std::string dir = scratch::Folder();
    testproc::Run({WAVRIX_EXE, argument}, {"WAVRIX_SIM_TRACE=" + dir + "/trace.txt"}, dir);
    const std::string trace = testproc::ReadFile(dir + "/trace.txt");
    EXPECT_NE(trace.find(std::string(meaning) + " (oscillator "), std::string::npos) << trace;
  }
}

// The rows for a failed read that leaves a byte, and for a driver that
// changes the x87 control word, prove nothing unless the card really does
// so; a setting it cannot read must be named, never quietly dropped.
TEST(HarnessSimulatedCardTest, TakesItsSettingsToTheLetter) {
  struct Row {
    std::string setting;
    std::string said;  ///< in the trace, or on standard error
  };
  const Row rows[] = {
      {"WAVRIX_SIM_STATUS=fail:60", "read failed, 60 left in the buffer\n"},
      {"WAVRIX_SIM_STATUS=fail", "  read failed\n"},
      {"WAVRIX_SIM_CONTROL_WORD=007F",
       "simulated card: the driver leaves the x87 control word at 007F after every call\n"},
      {"WAVRIX_SIM_DRIVER=leaves-x87-full",
       "simulated card: the driver leaves all eight x87 registers in use after every call\n"},
      {"WAVRIX_SIM_STATUS=40=256", "I2CHWRead(C0) = 256 -> 40 "},
      {"WAVRIX_SIM_STATUS=fail:20=-257", "I2CHWRead(C0) = -257 "},
      {"WAVRIX_SIM_GPDATA_RESULT=-2147483648", "SetGPDATABits(9, 11, 2, 0) = -2147483648 "},
      {"WAVRIX_SIM_DRIVER=stores-word", "status 40, PLL locked, stored as a word: 40 A5 5A FF\n"},
      {"WAVRIX_SIM_DRIVER=stores-word,bogus",
       "simulated card: ignoring WAVRIX_SIM_DRIVER entry 'bogus'"},
      {"WAVRIX_SIM_TIME=yes", "simulated card: ignoring WAVRIX_SIM_TIME yes"},
      {"WAVRIX_SIM_TIME=0", "btvid_32: " + traffic::SetUp().front() + "\n"},
      {"WAVRIX_SIM_STATUS=fail:", "simulated card: ignoring status entry 'fail:'"},
      {"WAVRIX_SIM_STATUS=fail:160", "simulated card: ignoring status entry 'fail:160'"},
      {"WAVRIX_SIM_STATUS=40,fail60", "simulated card: ignoring status entry 'fail60'"},
      {"WAVRIX_SIM_CONTROL_WORD=1027F", "simulated card: ignoring WAVRIX_SIM_CONTROL_WORD 1027F"},
      {"WAVRIX_SIM_CONTROL_WORD=0x27F", "simulated card: ignoring WAVRIX_SIM_CONTROL_WORD 0x27F"},
      {"WAVRIX_SIM_STATUS=40=", "simulated card: ignoring status entry '40='"},
      {"WAVRIX_SIM_STATUS=40=2147483648", "simulated card: ignoring status entry '40=2147483648'"},
      {"WAVRIX_SIM_GPDATA_RESULT=1x", "simulated card: ignoring WAVRIX_SIM_GPDATA_RESULT 1x"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.setting);
    const std::string dir = scratch::Folder();
    const testproc::Result run = testproc::Run(
        {WAVRIX_EXE, "98.5"}, {"WAVRIX_SIM_TRACE=" + dir + "/trace.txt", row.setting}, dir);
    const std::string said = testproc::ReadFile(dir + "/trace.txt") + run.err;
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
  }
}

// The program is bound to the card library beside it by the nine names
// alone: any library that has them stands in, here a bare one in C.
TEST(EndToEndTest, RunsAgainstAnyLibraryWithTheNineOperations) {
  const std::string dir = scratch::Folder();
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

// The report's location is an offset into the image; the debug information of
// the same build names the code there, and it must be the check that detected
// the fault.
class EndToEndFaultTest : public ::testing::TestWithParam<e2e::FaultSite> {};

TEST_P(EndToEndFaultTest, LinuxProgramReportsTheCheckThatDetectedIt) {
  e2e::ExpectFaultAt(
      GetParam(), [](const e2e::Case& c) { return RunNative(c); }, WAVRIX_ADDR2LINE, WAVRIX_EXE);
}

INSTANTIATE_TEST_SUITE_P(BareDriver, EndToEndFaultTest, ::testing::ValuesIn(e2e::FaultSites()),
                         e2e::ParamName());

// No two checks may share a location, or the report could not tell them apart.
TEST(EndToEndTest, EachFaultReportsALocationOfItsOwn) {
  e2e::ExpectDistinctFaultLocations([](const e2e::Case& c) { return RunNative(c); });
}

}  // namespace
