#include "tests/end_to_end_cases.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <regex>
#include <sstream>
#include <utility>

#include "app/messages.h"
#include "gtest/gtest.h"
#include "tests/process.h"

namespace e2e {
namespace {

using traffic::Calls;
using traffic::Join;
using traffic::Tuned;

const Calls& kSetUp = traffic::SetUp();
const std::vector<uint32_t>& kLockedWaits = traffic::TuningWaits();

}  // namespace

std::vector<Case> Cases() {
  const Message none = traffic::NoFrequency();
  const Message invalid = traffic::InvalidFrequency();
  const Message refused = traffic::TunerRefused();
  const Calls refusedCalls = traffic::Refused();
  // 108 MHz where no status read succeeds: no preliminary pair, five polls.
  const Calls noStatusCalls =
      Join({kSetUp,
            {"I2CHWWrite3(C0, 07, 6B) = 0", "I2CHWRead(C0) = 1", "I2CHWWrite3(C0, 8E, A5) = 0",
             "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 1",
             "I2CHWRead(C0) = 1"},
            traffic::Pins()});
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
      {.name = "NoArgument", .commandLine = "wavrix.exe", .messages = {none}, .calls = kSetUp},
      {.name = "OnlyBlanks", .commandLine = "wavrix.exe \t  ", .messages = {none}, .calls = kSetUp},
      {.name = "OnlyAnEmptyQuotedPair",
       .commandLine = "wavrix.exe \"\"",
       .messages = {none},
       .calls = kSetUp},
      {.name = "QuotedProgramName",
       .commandLine = "\"C:\\Program Files\\Wavrix\\wavrix.exe\" 98.5",
       .argument = "98.5",
       .calls = Tuned("06, D3"),
       .waits = kLockedWaits},
      {.name = "MHz",
       .commandLine = "wavrix.exe 98.5",
       .argument = "98.5",
       .calls = Tuned("06, D3"),
       .waits = kLockedWaits},
      {.name = "Hz",
       .commandLine = "wavrix.exe 98500000",
       .argument = "98500000",
       .calls = Tuned("06, D3"),
       .waits = kLockedWaits},
      {.name = "EmptyQuotedPairBeforeTheArgument",
       .commandLine = "wavrix.exe \"\" 98.5",
       .argument = "98.5",
       .calls = Tuned("06, D3"),
       .waits = kLockedWaits},
      {.name = "QuotedArgumentWithALeadingSpace",
       .commandLine = "wavrix.exe \" 98.5\"",
       .argument = " 98.5",
       .calls = Tuned("06, D3"),
       .waits = kLockedWaits},
      {.name = "LeadingTabInsideQuotes",
       .commandLine = "wavrix.exe \"\t98.5\"",
       .argument = "\t98.5",
       .messages = {invalid},
       .calls = kSetUp},
      {.name = "QuoteInsideAToken",
       .commandLine = "wavrix.exe 98\".\"5",
       .argument = "98.5",
       .calls = Tuned("06, D3"),
       .waits = kLockedWaits},
      {.name = "QuotedBlankInsideAToken",
       .commandLine = "wavrix.exe 9\"8.5 M\"Hz",
       .argument = "98.5 MHz",
       .messages = {invalid},
       .calls = kSetUp},
      {.name = "UnclosedQuote",
       .commandLine = "wavrix.exe \"98.5",
       .argument = "98.5",
       .calls = Tuned("06, D3"),
       .waits = kLockedWaits},
      {.name = "SecondArgumentIgnored",
       .commandLine = "wavrix.exe 98.5 abc",
       .argument = "98.5",
       .calls = Tuned("06, D3"),
       .waits = kLockedWaits},
      {.name = "UnquotedRunOver4096Characters",
       .commandLine = "wavrix.exe " + zeros4096 + "12x",
       .argument = zeros4096 + "12x",
       .messages = {refused},
       .calls = refusedCalls},
      {.name = "QuotedRunOver4096Characters",
       .commandLine = "wavrix.exe \"" + zeros4096 + "12 x\" 1",
       .argument = zeros4096 + "12 x",
       .messages = {refused},
       .calls = refusedCalls},
      // Arguments longer than 4096 characters, cut right where reading one
      // character more would change the outcome. The Linux program cuts
      // argv[1] there. The Windows splitter cuts the token there too: the
      // rest of an unquoted run becomes the next argument, which is ignored,
      // and the rest of a quoted run is skipped, so the outcome is the same.
      // (Read whole, 98. would be 98.5, and 98.5 would be 98.55.)
      {.name = "CutInsideLeadingBlanksABlankNext",
       .commandLine = "wavrix.exe \"" + blanks(4097) + "98.5\"",
       .argument = blanks(4097) + "98.5",
       .messages = {invalid},
       .calls = kSetUp},
      {.name = "CutAfterLeadingBlanksASignNext",
       .commandLine = "wavrix.exe \"" + blanks(4096) + "+98.5\"",
       .argument = blanks(4096) + "+98.5",
       .messages = {invalid},
       .calls = kSetUp},
      {.name = "CutRightAfterASignANumberNext",
       .commandLine = "wavrix.exe \"" + blanks(4095) + "+98.5\"",
       .argument = blanks(4095) + "+98.5",
       .messages = {invalid},
       .calls = kSetUp},
      {.name = "CutRightAfterAPointADigitNext",
       .commandLine = "wavrix.exe " + zeros(4093) + "98.5",
       .argument = zeros(4093) + "98.5",
       .calls = Tuned("06, CB"),
       .waits = kLockedWaits},
      {.name = "CutRightAfterEADigitNext",
       .commandLine = "wavrix.exe " + zeros(4091) + "98.5e1",
       .argument = zeros(4091) + "98.5e1",
       .messages = {invalid},
       .calls = kSetUp},
      {.name = "CutRightAfterEASignNext",
       .commandLine = "wavrix.exe " + zeros(4091) + "98.5e+1",
       .argument = zeros(4091) + "98.5e+1",
       .messages = {invalid},
       .calls = kSetUp},
      {.name = "CutRightAfterEPlusADigitNext",
       .commandLine = "wavrix.exe " + zeros(4090) + "98.5e+0",
       .argument = zeros(4090) + "98.5e+0",
       .messages = {invalid},
       .calls = kSetUp},
      {.name = "CutRightAfterCapitalEMinusADigitNext",
       .commandLine = "wavrix.exe " + zeros(4090) + "98.5E-0",
       .argument = zeros(4090) + "98.5E-0",
       .messages = {invalid},
       .calls = kSetUp},
      {.name = "CutInsideTheExponentADigitNext",
       .commandLine = "wavrix.exe " + zeros(4090) + "9.85e10",
       .argument = zeros(4090) + "9.85e10",
       .calls = Tuned("06, D3"),
       // 9.85e10 Hz would be out of band
       .waits = kLockedWaits},
      {.name = "CutRightAfterANumberADigitNext",
       .commandLine = "wavrix.exe " + zeros(4092) + "98.55",
       .argument = zeros(4092) + "98.55",
       .calls = Tuned("06, D3"),
       .waits = kLockedWaits},
      {.name = "CutRightAfterANumberABlankNext",
       .commandLine = "wavrix.exe \"" + zeros(4092) + "98.5 x\"",
       .argument = zeros(4092) + "98.5 x",
       .calls = Tuned("06, D3"),
       .waits = kLockedWaits},
      {.name = "CutRightAfterANumberAnExponentNext",
       .commandLine = "wavrix.exe " + zeros(4092) + "98.5e+",
       .argument = zeros(4092) + "98.5e+",
       .calls = Tuned("06, D3"),
       .waits = kLockedWaits},
      {.name = "BytesOf128AndAbove",
       .commandLine = "wavrix.exe 98.5\xe9\xfc",
       .argument = "98.5\xe9\xfc",
       .messages = {invalid},
       .calls = kSetUp},
      {.name = "LineNear32000Characters",
       .commandLine = longLine,
       .argument = "98.5",
       .calls = Tuned("06, D3"),
       .waits = kLockedWaits},
      {.name = "NotANumber",
       .commandLine = "wavrix.exe 98,5",
       .argument = "98,5",
       .messages = {invalid},
       .calls = kSetUp},
      {.name = "ThousandIsOutOfTheBand",
       .commandLine = "wavrix.exe 1000",
       .argument = "1000",
       .messages = {refused},
       .calls = refusedCalls},
      {.name = "BelowTheBand",
       .commandLine = "wavrix.exe -98.5",
       .argument = "-98.5",
       .messages = {refused},
       .calls = refusedCalls},
      {.name = "Low32Bits",
       .commandLine = "wavrix.exe 4394967296",
       .argument = "4394967296",
       .calls = Tuned("06, EB"),
       .waits = kLockedWaits},
      {.name = "TieToTheBandEdge",
       .commandLine = "wavrix.exe 87499999.5",
       .argument = "87499999.5",
       .calls = Tuned("06, 23"),
       .waits = kLockedWaits},
      {.name = "SlowTuner",
       .commandLine = "wavrix.exe 100",
       .argument = "100",
       .card = {.status = "20,00,fail,40"},
       .calls = Join({kSetUp,
                      {"I2CHWWrite3(C0, 06, EB) = 0", "I2CHWRead(C0) = 0 -> 20",
                       "I2CHWWrite3(C0, 8E, A1) = 0", "I2CHWWrite3(C0, 8E, A5) = 0",
                       "I2CHWRead(C0) = 0 -> 00", "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 0 -> 40"},
                      traffic::Pins()}),
       .waits = {30, 30, 30, 30, 1}},
      {.name = "TunerNeverLocks",
       .commandLine = "wavrix.exe 108",
       .argument = "108",
       .card = {.status = "fail"},
       .calls = noStatusCalls,
       .waits = fivePollWaits},
      // A failed read may leave part of a byte behind; it still counts as
      // status 0: no preliminary pair for its bit 5, no end of the wait for
      // its bit 6.
      {.name = "FailedReadsLeave60Behind",
       .commandLine = "wavrix.exe 108",
       .argument = "108",
       .card = {.status = "fail:60"},
       .calls = noStatusCalls,
       .waits = fivePollWaits},
      {.name = "AFailedPollLeaves60Behind",
       .commandLine = "wavrix.exe 100",
       .argument = "100",
       .card = {.status = "20,fail:60,40"},
       .calls = Join({kSetUp,
                      {"I2CHWWrite3(C0, 06, EB) = 0", "I2CHWRead(C0) = 0 -> 20",
                       "I2CHWWrite3(C0, 8E, A1) = 0", "I2CHWWrite3(C0, 8E, A5) = 0",
                       "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 0 -> 40"},
                      traffic::Pins()}),
       .waits = {30, 30, 30, 1}},
      {.name = "RoundingOutOfRange",
       .commandLine = "wavrix.exe 1e19",
       .argument = "1e19",
       .messages = {traffic::Fatal(207)},
       .exitCode = 207,
       .calls = kSetUp},
      {.name = "Infinity",
       .commandLine = "wavrix.exe 1e5120",
       .argument = "1e5120",
       .messages = {traffic::Fatal(207)},
       .exitCode = 207,
       .calls = kSetUp},
      {.name = "OverflowAtTheStore",
       .commandLine = "wavrix.exe 1e400",
       .argument = "1e400",
       .messages = {traffic::Fatal(205)},
       .exitCode = 205,
       .calls = kSetUp},
      {.name = "OverflowAtTheMHzProduct",
       .commandLine = "wavrix.exe -1e303",
       .argument = "-1e303",
       .messages = {traffic::Fatal(205)},
       .exitCode = 205,
       .calls = kSetUp},
      {.name = "OverflowWhileReading",
       .commandLine = "wavrix.exe 1e5119",
       .argument = "1e5119",
       .messages = {traffic::Fatal(205)},
       .exitCode = 205,
       .calls = kSetUp},
      {.name = "OverflowBeforeTheErrorPosition",
       .commandLine = "wavrix.exe 2" + std::string(308, '0') + "x",
       .argument = "2" + std::string(308, '0') + "x",
       .messages = {traffic::Fatal(205)},
       .exitCode = 205,
       .calls = kSetUp},
  };

  // Some drivers leave the x87 at 53-bit or 24-bit precision after their
  // set-up. Read under that, each of these would tune otherwise: 89.33125
  // (1600.5 steps, so 1600) the neighbouring channel at 24 bits,
  // 87.50000000000000001 nothing at all at 24 bits, and -35005031340.463974,
  // whose MHz product must be rounded twice, divider 1675 at 53 bits. Under
  // any driver the program gives what it gives under its own control word.
  // Each is named by what it is and its argument, with '.' as '_' and '-' as
  // "Minus", then the word the driver leaves.
  struct PrecisionSensitive {
    const char* name;
    const char* argument;
    const char* divider;
  };
  const PrecisionSensitive precisionSensitive[] = {
      {"Tie89_33125", "89.33125", "06, 40"},
      {"JustAboveTheBandEdge87_50000000000000001", "87.50000000000000001", "06, 23"},
      {"TwiceRoundedMinus35005031340_463974", "-35005031340.463974", "06, 8A"}};
  for (const char* word : {"", "027F", "007F"}) {
    for (const auto& [name, argument, divider] : precisionSensitive) {
      cases.push_back({.name = std::string(name) + (*word != '\0' ? "UnderWord" : "") + word,
                       .commandLine = std::string("wavrix.exe ") + argument,
                       .argument = argument,
                       .card = {.controlWord = word},
                       .calls = Tuned(divider),
                       .waits = kLockedWaits});
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
    env.push_back(traffic::setting::Driver(driver.traits));
  }
  if (!c.card.status.empty()) {
    env.push_back(traffic::setting::Status(c.card.status));
  }
  if (!c.card.controlWord.empty()) {
    env.push_back(traffic::setting::ControlWord(c.card.controlWord));
  }
  return env;
}

const std::vector<Case>& TheCases() {
  static const std::vector<Case> cases = Cases();
  return cases;
}

namespace {

// Which kinds of driver each kind of run has looked up: (runs, driver name).
std::vector<std::pair<std::string, std::string>>& DriversLookedUp() {
  static std::vector<std::pair<std::string, std::string>> lookedUp;
  return lookedUp;
}

}  // namespace

const Driver& DriverWith(const std::string& traits, const std::string& runs) {
  for (const Driver& driver : Drivers()) {
    if (driver.traits == traits) {
      DriversLookedUp().push_back({runs, driver.name});
      return driver;
    }
  }
  // Called while GoogleTest registers the tests, where no test can fail yet.
  std::fprintf(stderr, "no kind of driver has the traits '%s' (runs %s)\n", traits.c_str(),
               runs.c_str());
  std::abort();
}

std::vector<std::string> DriversNotRun(const std::string& runs) {
  std::vector<std::string> notRun;
  for (const Driver& driver : Drivers()) {
    const std::pair<std::string, std::string> run{runs, driver.name};
    if (std::find(DriversLookedUp().begin(), DriversLookedUp().end(), run) ==
        DriversLookedUp().end()) {
      notRun.push_back(driver.name);
    }
  }
  return notRun;
}

std::string Shown(const std::string& commandLine) {
  // The middle of a long line is what the row's own code shows better.
  constexpr size_t kHead = 40;
  constexpr size_t kTail = 20;
  std::string text = commandLine;
  if (text.size() > kHead + kTail + 3) {
    text = text.substr(0, kHead) + "..." + text.substr(text.size() - kTail);
  }
  std::string shown;
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '\\' || ch == '"') {
      shown += '\\';
      shown += ch;
    } else if (ch == '\t') {
      shown += "\\t";
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += ch;
    }
  }
  shown = "\"" + shown + "\"";
  if (commandLine.size() != text.size()) {
    shown += " (" + std::to_string(commandLine.size()) + " characters)";
  }
  return shown;
}

const std::vector<FaultSite>& FaultSites() {
  static const std::vector<FaultSite> sites = {
      {"RoundingTo64Bits", "1e19", "faults::RoundToInt64(Frequency, rounded)"},
      {"StoreOfTheMHzProduct", "-1e303", "faults::StoreDouble(hz, Frequency)"},
      {"StoreOfTheReading", "1e400", "faults::StoreDouble(reading.value, Frequency)"},
      {"ScalingWhileReading", "1e5119", "faults::Multiply(value, power)"},
  };
  return sites;
}

namespace {

Case FaultCase(const FaultSite& site) {
  Case c;
  c.name = site.name;
  c.commandLine = "wavrix.exe " + site.argument;
  c.argument = site.argument;
  return c;
}

// The location the one report of `seen` gives, an offset into the image.
std::optional<uint32_t> ReportedOffset(const Seen& seen) {
  if (seen.messages.size() != 1 || seen.messages[0].caption != messages::FatalCaption ||
      seen.messages[0].text.size() != sizeof messages::FatalTemplate - 1) {
    ADD_FAILURE() << "no fault report in: " << seen.raw.substr(0, 2000);
    return std::nullopt;
  }
  return static_cast<uint32_t>(std::stoul(
      seen.messages[0].text.substr(messages::FatalLocationAt, messages::FatalLocationDigits),
      nullptr, 16));
}

// The file under the source folder that the debug information names by
// `path`: absolute for the Linux build, relative to a build folder for the
// Windows one, whose paths are mapped. The longest tail of the path that is a
// file there.
std::string SourceFile(const std::string& path) {
  const std::string root = WAVRIX_SOURCE_DIR;
  for (size_t from = 0; from < path.size();) {
    const std::string candidate = root + "/" + path.substr(from);
    if (struct stat st{}; stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      return candidate;
    }
    const size_t slash = path.find('/', from);
    if (slash == std::string::npos) {
      break;
    }
    from = slash + 1;
  }
  return "";
}

std::string SourceLine(const std::string& file, unsigned number) {
  std::istringstream lines(testproc::ReadFile(file));
  std::string line;
  for (unsigned i = 0; i < number && std::getline(lines, line); ++i) {
  }
  return line;
}

}  // namespace

void ExpectFaultAt(const FaultSite& site, const std::function<Seen(const Case&)>& run,
                   const std::string& addr2line, const std::string& image) {
  // Only the debug information names the code; a Release build has none.
  const std::string objdump =
      std::regex_replace(addr2line, std::regex("addr2line(-[0-9]+)?$"), "objdump$1");
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
  const std::optional<uint32_t> offset = ReportedOffset(run(FaultCase(site)));
  ASSERT_TRUE(offset.has_value());
  ASSERT_GT(*offset, 0u);
  // The location is where faults::Detect returns to, the instruction after
  // the call; like a debugger naming a caller's line, look up the byte before
  // it, inside the call. The instruction after may belong to the next line.
  char address[32];
  std::snprintf(address, sizeof address, "0x%llx",
                static_cast<unsigned long long>(imageBase + *offset - 1));
  // One "FILE:LINE" for the code there, then one for each function it is
  // inlined into, outwards.
  const std::string frames = testproc::Capture(addr2line + " -i -e " + image + " " + address);
  std::istringstream lines(frames);
  const std::regex frame(R"(^(.+):(\d+)( \(discriminator \d+\))?$)");
  std::string shown;
  bool found = false;
  for (std::string line; std::getline(lines, line);) {
    if (!std::regex_match(line, match, frame)) {
      shown += line + "\n";
      continue;
    }
    const std::string file = SourceFile(match[1].str());
    const std::string code =
        file.empty() ? "" : SourceLine(file, static_cast<unsigned>(std::stoul(match[2].str())));
    shown += line + ": " + (file.empty() ? "(not in the sources)" : code) + "\n";
    found = found || code.find(site.code) != std::string::npos;
  }
  EXPECT_TRUE(found) << "the fault of " << site.argument << " is reported at offset " << std::hex
                     << *offset << " (looked up at " << address << "), not at " << site.code
                     << ":\n"
                     << shown;
}

void ExpectDistinctFaultLocations(const std::function<Seen(const Case&)>& run) {
  std::vector<uint32_t> offsets;
  for (const FaultSite& site : FaultSites()) {
    const std::optional<uint32_t> offset = ReportedOffset(run(FaultCase(site)));
    ASSERT_TRUE(offset.has_value()) << site.argument;
    for (size_t i = 0; i < offsets.size(); ++i) {
      EXPECT_NE(*offset, offsets[i])
          << site.argument << " is reported where " << FaultSites()[i].argument << " is";
    }
    offsets.push_back(*offset);
  }
}

}  // namespace e2e
