// Runs the built wavrix against the simulated card and checks what a user and
// the card see: the message line, the exit code, standard output (always
// empty) and the bus traffic the card traced.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"

extern char** environ;

namespace {

struct Outcome {
  int exitCode = -1;
  std::string out;
  std::string err;
  std::vector<std::string> calls;  ///< traced calls, without what they meant
  std::string trace;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The call part of each trace line: "btvid_32: CALL  meaning".
std::vector<std::string> TracedCalls(const std::string& trace) {
  std::vector<std::string> calls;
  std::istringstream lines(trace);
  std::string line;
  const std::string prefix = "btvid_32: ";
  while (std::getline(lines, line)) {
    if (line.rfind(prefix, 0) != 0) {
      continue;
    }
    line = line.substr(prefix.size());
    calls.push_back(line.substr(0, line.find("  ")));
  }
  return calls;
}

Outcome RunWavrix(const std::optional<std::string>& argument, const std::string& status = "") {
  const std::string dir = ::testing::TempDir();
  const std::string outPath = dir + "wavrix_e2e.out";
  const std::string errPath = dir + "wavrix_e2e.err";
  const std::string tracePath = dir + "wavrix_e2e.trace";

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("WAVRIX_SIM_", 0) != 0) {
      env.emplace_back(*e);
    }
  }
  env.push_back("WAVRIX_SIM_TRACE=" + tracePath);
  if (!status.empty()) {
    env.push_back("WAVRIX_SIM_STATUS=" + status);
  }
  std::vector<char*> envp;
  for (std::string& e : env) {
    envp.push_back(e.data());
  }
  envp.push_back(nullptr);

  std::string exe = WAVRIX_EXE;
  std::string arg = argument.value_or("");
  std::vector<char*> argv = {exe.data()};
  if (argument) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::remove(tracePath.c_str());
  pid_t pid = 0;
  Outcome run;
  const int spawned = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << exe;
    return run;
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  run.exitCode = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  run.out = ReadFile(outPath);
  run.err = ReadFile(errPath);
  run.trace = ReadFile(tracePath);
  run.calls = TracedCalls(run.trace);
  return run;
}

using Calls = std::vector<std::string>;

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

const Calls kSetUp = {"I2CIsInitOK() = 1", "I2CInitHWMode(100000) = 0", "GPIOIsInitOK() = 1",
                      "SetGPIOMODE(0) = 0"};
const Calls kPins = {"GetGPOE() = 00000000", "SetGPOE(00000F00) = 0",
                     "SetGPDATABits(9, 11, 2, 0) = 0"};

Calls Tuned(const std::string& divider) {
  return Join({kSetUp,
               {"I2CHWWrite3(C0, " + divider + ") = 0", "I2CHWRead(C0) = 0 -> 40",
                "I2CHWWrite3(C0, 8E, A5) = 0", "I2CHWRead(C0) = 0 -> 40"},
               kPins});
}

struct Case {
  std::optional<std::string> argument;
  std::string status;  // WAVRIX_SIM_STATUS, empty for the card's default
  std::string err;     // a regular expression for all of standard error
  int exitCode;
  Calls calls;
};

TEST(EndToEndTest, RunsAgainstTheSimulatedCard) {
  const std::string invalid = "Wavrix error: Invalid frequency parameter\n";
  const std::string refused = "Wavrix error: Unable to set tuner \\(frequency\\?\\)\n";
  const Case cases[] = {
      {std::nullopt, "", "Wavrix error: No frequency parameter\n", 0, kSetUp},
      {"", "", invalid, 0, kSetUp},
      {"abc", "", invalid, 0, kSetUp},
      {"98.5MHz", "", invalid, 0, kSetUp},
      {"98.5", "", "", 0, Tuned("06, D3")},
      {"98500000", "", "", 0, Tuned("06, D3")},
      {"4394967296", "", "", 0, Tuned("06, EB")},
      {"1000", "", refused, 0, Join({kSetUp, kPins})},
      {"-98.5", "", refused, 0, Join({kSetUp, kPins})},
      // Only the first 4096 characters of an argument count: the x is cut off
      // and what remains reads as 0 Hz.
      {std::string(4096, '0') + "x", "", refused, 0, Join({kSetUp, kPins})},
      {std::string(4095, '0') + "x", "", invalid, 0, kSetUp},
      {"100", "20,00,fail,40", "", 0,
       Join({kSetUp,
             {"I2CHWWrite3(C0, 06, EB) = 0", "I2CHWRead(C0) = 0 -> 20",
              "I2CHWWrite3(C0, 8E, A1) = 0", "I2CHWWrite3(C0, 8E, A5) = 0",
              "I2CHWRead(C0) = 0 -> 00", "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 0 -> 40"},
             kPins})},
      {"1e19", "", "Error: Runtime error 207 at [0-9A-F]{8}\n", 207, kSetUp},
      {"-1e303", "", "Error: Runtime error 205 at [0-9A-F]{8}\n", 205, kSetUp},
      {"2" + std::string(308, '0') + "x", "", "Error: Runtime error 205 at [0-9A-F]{8}\n", 205,
       kSetUp},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument.value_or("(none)").substr(0, 40));
    const Outcome run = RunWavrix(c.argument, c.status);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(std::regex_match(run.err, std::regex(c.err))) << run.err;
    EXPECT_EQ(run.calls, c.calls);
  }
}

TEST(EndToEndTest, TraceDecodesWhatTheTunerWasTold) {
  const Outcome run = RunWavrix("98.5");
  for (const char* meaning : {"divider 1747 -> 98.500 MHz station", "port byte A5",
                              "GPIO outputs 8-11 enabled", "data bits 9..11 = 2"}) {
    EXPECT_NE(run.trace.find(meaning), std::string::npos) << meaning << "\n" << run.trace;
  }
}

// The report's location is an offset into the image; the debug information
// of the same build names the code there, and it must be the check that
// detected the fault.
TEST(EndToEndTest, FaultLocationPointsAtTheDetectingCode) {
  if (std::system("addr2line --version >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "addr2line is not installed";
  }
  struct Case {
    std::string argument;
    const char* source;  // the file of the code at the reported offset
  };
  const Case cases[] = {
      {"1e19", "app/frequency_command.cc"},    // the rounding to 64 bits
      {"-1e303", "app/frequency_command.cc"},  // the store of the MHz product
      {"1e400", "app/frequency_command.cc"},   // the store of the reading
      {"1e5119", "app/decimal.cc"},            // scaling while reading
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    const Outcome run = RunWavrix(c.argument);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(run.err, match, std::regex("at ([0-9A-F]{8})")));
    const std::string command =
        std::string("addr2line -f -i -C -e ") + WAVRIX_EXE + " 0x" + match[1].str();
    std::string functions;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[512];
      while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        functions += buffer;
      }
      pclose(pipe);
    }
    EXPECT_NE(functions.find(c.source), std::string::npos) << functions;
  }
}

}  // namespace
