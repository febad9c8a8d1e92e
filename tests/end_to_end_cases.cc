#include "tests/end_to_end_cases.h"

#include <stdlib.h>

#include <cstdio>
#include <initializer_list>
#include <regex>
#include <sstream>
#include <utility>

#include "gtest/gtest.h"
#include "tests/process.h"

namespace e2e {
namespace {

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
const std::vector<uint32_t> kLockedWaits = {30, 1};

Calls Tuned(const std::string& divider) {
  return Join({kSetUp,
               {"I2CHWWrite3(C0, " + divider + ") = 0", "I2CHWRead(C0) = 0 -> 40",
                "I2CHWWrite3(C0, 8E, A5) = 0", "I2CHWRead(C0) = 0 -> 40"},
               kPins});
}

Message Box(const std::string& text) {
  return {"Wavrix error", text, 1};
}
Message Fatal(int code) {
  return {"Error", "Runtime error " + std::to_string(code) + " at [0-9A-F]{8}", 0};
}

}  // namespace

std::vector<Case> Cases() {
  const Message none = Box("No frequency parameter");
  const Message invalid = Box("Invalid frequency parameter");
  const Message refused = Box("Unable to set tuner \\(frequency\\?\\)");
  const Calls refusedCalls = Join({kSetUp, kPins});
  // 108 MHz where no status read succeeds: no preliminary pair, five polls.
  const Calls noStatusCalls =
      Join({kSetUp,
            {"I2CHWWrite3(C0, 07, 6B) = 0", "I2CHWRead(C0) = 1", "I2CHWWrite3(C0, 8E, A5) = 0",
             "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 1",
             "I2CHWRead(C0) = 1"},
            kPins});
  const std::vector<uint32_t> fivePollWaits = {30, 30, 30, 30, 30, 1};
  const std::string zeros4096(4096, '0');
  auto zeros = [](size_t n) { return std::string(n, '0'); };
  auto blanks = [](size_t n) { return std::string(n, ' '); };

  // A line near the longest Windows allows: the argument after 31,900 blanks.
  std::string longLine = "wavrix.exe";
  for (int i = 0; i < 3190; ++i) {
    longLine += " \t        ";
  }
  longLine += "98.5 " + std::string(80, 'x');

  std::vector<Case> cases = {
      {"no argument", "wavrix.exe", std::nullopt, "", {none}, 0, kSetUp, {}},
      {"only blanks", "wavrix.exe \t  ", std::nullopt, "", {none}, 0, kSetUp, {}},
      {"only an empty quoted pair", "wavrix.exe \"\"", std::nullopt, "", {none}, 0, kSetUp, {}},
      {"quoted program name",
       "\"C:\\Program Files\\Wavrix\\wavrix.exe\" 98.5",
       "98.5",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"MHz", "wavrix.exe 98.5", "98.5", "", {}, 0, Tuned("06, D3"), kLockedWaits},
      {"Hz", "wavrix.exe 98500000", "98500000", "", {}, 0, Tuned("06, D3"), kLockedWaits},
      {"empty quoted pair before the argument",
       "wavrix.exe \"\" 98.5",
       "98.5",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"quoted argument with a leading space",
       "wavrix.exe \" 98.5\"",
       " 98.5",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"leading tab inside quotes",
       "wavrix.exe \"\t98.5\"",
       "\t98.5",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"quote inside a token",
       "wavrix.exe 98\".\"5",
       "98.5",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"quoted blank inside a token",
       "wavrix.exe 9\"8.5 M\"Hz",
       "98.5 MHz",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"unclosed quote", "wavrix.exe \"98.5", "98.5", "", {}, 0, Tuned("06, D3"), kLockedWaits},
      {"second argument ignored",
       "wavrix.exe 98.5 abc",
       "98.5",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"unquoted run over 4096 characters",
       "wavrix.exe " + zeros4096 + "12x",
       zeros4096 + "12x",
       "",
       {refused},
       0,
       refusedCalls,
       {}},
      {"quoted run over 4096 characters",
       "wavrix.exe \"" + zeros4096 + "12 x\" 1",
       zeros4096 + "12 x",
       "",
       {refused},
       0,
       refusedCalls,
       {}},
      // Arguments longer than 4096 characters, cut right where reading one
      // character more would change the outcome. The Linux program cuts
      // argv[1] there. The Windows splitter cuts the token there too: the
      // rest of an unquoted run becomes the next argument, which is ignored,
      // and the rest of a quoted run is skipped, so the outcome is the same.
      // (Read whole, 98. would be 98.5, and 98.5 would be 98.55.)
      {"cut inside leading blanks, a blank next",
       "wavrix.exe \"" + blanks(4097) + "98.5\"",
       blanks(4097) + "98.5",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"cut after leading blanks, a sign next",
       "wavrix.exe \"" + blanks(4096) + "+98.5\"",
       blanks(4096) + "+98.5",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"cut right after a sign, a number next",
       "wavrix.exe \"" + blanks(4095) + "+98.5\"",
       blanks(4095) + "+98.5",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"cut right after a point, a digit next",
       "wavrix.exe " + zeros(4093) + "98.5",
       zeros(4093) + "98.5",
       "",
       {},
       0,
       Tuned("06, CB"),
       kLockedWaits},
      {"cut right after e, a digit next",
       "wavrix.exe " + zeros(4091) + "98.5e1",
       zeros(4091) + "98.5e1",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"cut right after e, a sign next",
       "wavrix.exe " + zeros(4091) + "98.5e+1",
       zeros(4091) + "98.5e+1",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"cut right after e+, a digit next",
       "wavrix.exe " + zeros(4090) + "98.5e+0",
       zeros(4090) + "98.5e+0",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"cut right after E-, a digit next",
       "wavrix.exe " + zeros(4090) + "98.5E-0",
       zeros(4090) + "98.5E-0",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"cut inside the exponent, a digit next",
       "wavrix.exe " + zeros(4090) + "9.85e10",
       zeros(4090) + "9.85e10",
       "",
       {},
       0,
       Tuned("06, D3"),  // 9.85e10 Hz would be out of band
       kLockedWaits},
      {"cut right after a number, a digit next",
       "wavrix.exe " + zeros(4092) + "98.55",
       zeros(4092) + "98.55",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"cut right after a number, a blank next",
       "wavrix.exe \"" + zeros(4092) + "98.5 x\"",
       zeros(4092) + "98.5 x",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"cut right after a number, an exponent next",
       "wavrix.exe " + zeros(4092) + "98.5e+",
       zeros(4092) + "98.5e+",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"bytes of 128 and above",
       "wavrix.exe 98.5\xe9\xfc",
       "98.5\xe9\xfc",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"line near 32,000 characters", longLine, "98.5", "", {}, 0, Tuned("06, D3"), kLockedWaits},
      {"not a number", "wavrix.exe 98,5", "98,5", "", {invalid}, 0, kSetUp, {}},
      {"1000 is Hz", "wavrix.exe 1000", "1000", "", {refused}, 0, refusedCalls, {}},
      {"below the band", "wavrix.exe -98.5", "-98.5", "", {refused}, 0, refusedCalls, {}},
      {"low 32 bits",
       "wavrix.exe 4394967296",
       "4394967296",
       "",
       {},
       0,
       Tuned("06, EB"),
       kLockedWaits},
      {"tie to the band edge",
       "wavrix.exe 87499999.5",
       "87499999.5",
       "",
       {},
       0,
       Tuned("06, 23"),
       kLockedWaits},
      {"slow tuner",
       "wavrix.exe 100",
       "100",
       "20,00,fail,40",
       {},
       0,
       Join({kSetUp,
             {"I2CHWWrite3(C0, 06, EB) = 0", "I2CHWRead(C0) = 0 -> 20",
              "I2CHWWrite3(C0, 8E, A1) = 0", "I2CHWWrite3(C0, 8E, A5) = 0",
              "I2CHWRead(C0) = 0 -> 00", "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 0 -> 40"},
             kPins}),
       {30, 30, 30, 30, 1}},
      {"tuner never locks", "wavrix.exe 108", "108", "fail", {}, 0, noStatusCalls, fivePollWaits},
      // A failed read may leave part of a byte behind; it still counts as
      // status 0: no preliminary pair for its bit 5, no end of the wait for
      // its bit 6.
      {"failed reads leave 60 behind",
       "wavrix.exe 108",
       "108",
       "fail:60",
       {},
       0,
       noStatusCalls,
       fivePollWaits},
      {"a failed poll leaves 60 behind",
       "wavrix.exe 100",
       "100",
       "20,fail:60,40",
       {},
       0,
       Join({kSetUp,
             {"I2CHWWrite3(C0, 06, EB) = 0", "I2CHWRead(C0) = 0 -> 20",
              "I2CHWWrite3(C0, 8E, A1) = 0", "I2CHWWrite3(C0, 8E, A5) = 0", "I2CHWRead(C0) = 1",
              "I2CHWRead(C0) = 0 -> 40"},
             kPins}),
       {30, 30, 30, 1}},
      {"rounding out of range", "wavrix.exe 1e19", "1e19", "", {Fatal(207)}, 207, kSetUp, {}},
      {"infinity", "wavrix.exe 1e5120", "1e5120", "", {Fatal(207)}, 207, kSetUp, {}},
      {"overflow at the store", "wavrix.exe 1e400", "1e400", "", {Fatal(205)}, 205, kSetUp, {}},
      {"overflow at the MHz product",
       "wavrix.exe -1e303",
       "-1e303",
       "",
       {Fatal(205)},
       205,
       kSetUp,
       {}},
      {"overflow while reading", "wavrix.exe 1e5119", "1e5119", "", {Fatal(205)}, 205, kSetUp, {}},
      {"overflow before the error position",
       "wavrix.exe 2" + std::string(308, '0') + "x",
       "2" + std::string(308, '0') + "x",
       "",
       {Fatal(205)},
       205,
       kSetUp,
       {}},
  };

  // Some drivers leave the x87 at 53-bit or 24-bit precision after their
  // set-up. Read under that, each of these would tune otherwise: 89.33125
  // (1600.5 steps, so 1600) the neighbouring channel at 24 bits,
  // 87.50000000000000001 nothing at all at 24 bits, and -35005031340.463974,
  // whose MHz product must be rounded twice, divider 1675 at 53 bits. Under
  // any driver the program gives what it gives under its own control word.
  const std::pair<const char*, const char*> precisionSensitive[] = {
      {"89.33125", "06, 40"},
      {"87.50000000000000001", "06, 23"},
      {"-35005031340.463974", "06, 8A"}};
  for (const char* word : {"", "027F", "007F"}) {
    for (const auto& [argument, divider] : precisionSensitive) {
      Case c{std::string(argument) + (*word != '\0' ? ", driver leaves the x87 at " : "") + word,
             std::string("wavrix.exe ") + argument,
             argument,
             "",
             {},
             0,
             Tuned(divider),
             kLockedWaits};
      c.card.controlWord = word;
      cases.push_back(c);
    }
  }
  return cases;
}

Seen SeenOf(const testproc::Result& result) {
  Seen seen;
  seen.exitCode = result.exitCode;
  seen.out = result.out;
  seen.raw = result.err;
  return seen;
}

void ExpectSeen(const Case& c, const Seen& seen, bool checkStyle) {
  SCOPED_TRACE(c.name);
  EXPECT_EQ(seen.exitCode, c.exitCode) << seen.raw.substr(0, 2000);
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

std::string MakeTempDir() {
  std::string pattern = ::testing::TempDir() + "wavrix_e2e_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot make a temporary directory";
  }
  return pattern;
}

std::vector<std::string> TracedCalls(const std::string& trace, std::vector<uint32_t>* timesMs) {
  // "btvid_32: CALL  meaning", or with the time column
  // "btvid_32:     30 ms  CALL  meaning".
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

const std::vector<Driver>& Drivers() {
  static const std::vector<Driver> drivers = {
      {"driver that stores a whole word", "stores-word", false},
      {"driver that reads byte arguments whole", "reads-whole-bytes", false},
      {"driver that leaves the x87 full", "leaves-x87-full", true},
  };
  return drivers;
}

std::vector<std::string> CardEnv(const Case& c, const Driver& driver) {
  std::vector<std::string> env;
  if (!driver.traits.empty()) {
    env.push_back("WAVRIX_SIM_DRIVER=" + driver.traits);
  }
  if (!c.card.status.empty()) {
    env.push_back("WAVRIX_SIM_STATUS=" + c.card.status);
  }
  if (!c.card.controlWord.empty()) {
    env.push_back("WAVRIX_SIM_CONTROL_WORD=" + c.card.controlWord);
  }
  return env;
}

namespace {

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

uint32_t ReportedOffset(const std::string& text) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex("Runtime error \\d+ at ([0-9A-F]{8})"))) {
    ADD_FAILURE() << "no fault report in: " << text.substr(0, 500);
    return 0;
  }
  return static_cast<uint32_t>(std::stoul(match[1].str(), nullptr, 16));
}

}  // namespace

void ExpectFaultLocations(const std::function<Seen(const Case&)>& run, const std::string& addr2line,
                          const std::string& image) {
  // Only the debug information names the code; a Release build has none.
  const std::string objdump = std::regex_replace(addr2line, std::regex("addr2line$"), "objdump");
  const std::string sections = testproc::Capture(objdump + " -h " + image);
  ASSERT_FALSE(sections.empty()) << objdump << " cannot read " << image;
  if (sections.find(" .debug_info ") == std::string::npos) {
    GTEST_SKIP() << image << " has no debug information to name its code by (a Release build);"
                 << " RelWithDebInfo and Debug builds have it";
  }
  // The debug information is laid out for the base a Windows image was linked
  // for; a position-independent Linux program's counts from 0.
  std::smatch match;
  const std::string header = testproc::Capture(objdump + " -p " + image);
  const uint64_t imageBase =
      std::regex_search(header, match, std::regex(R"(ImageBase\s+([0-9a-fA-F]+))"))
          ? std::stoull(match[1].str(), nullptr, 16)
          : 0;
  for (const LocationCase& l : kLocationCases) {
    SCOPED_TRACE(l.argument);
    Case c;
    c.commandLine = std::string("wavrix.exe ") + l.argument;
    c.argument = l.argument;
    const Seen seen = run(c);
    ASSERT_EQ(seen.messages.size(), 1u) << seen.raw.substr(0, 2000);
    // The names of the function (and the functions inlined there) at the
    // offset, from the build's own debug information.
    char address[32];
    std::snprintf(
        address, sizeof address, "0x%llx",
        static_cast<unsigned long long>(imageBase + ReportedOffset(seen.messages[0].text)));
    const std::string code = testproc::Capture(addr2line + " -f -i -C -e " + image + " " + address);
    EXPECT_TRUE(code.find(l.source) != std::string::npos ||
                code.find(l.function) != std::string::npos)
        << code;
  }
}

}  // namespace e2e
