#include "app/frequency_command.h"

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "platform/fpu.h"
#include "tests/expect_seen.h"
#include "tests/in_process_card.h"
#include "tests/traffic.h"
#include "tests/x87_state.h"

namespace app {
namespace {

using traffic::Calls;

struct Case {
  std::optional<std::string> argument;
  int exitCode = 0;
  std::vector<traffic::Message> messages;
  Calls calls;
  std::vector<uint32_t> waits;
};

Case TunesTo(const std::string& argument, const std::string& divider) {
  return {argument, 0, {}, traffic::Tuned(divider), traffic::TuningWaits()};
}

Case Invalid(const std::string& argument) {
  return {argument, 0, {traffic::InvalidFrequency()}, traffic::SetUp(), {}};
}

Case Refused(const std::string& argument) {
  return {argument, 0, {traffic::TunerRefused()}, traffic::Refused(), {}};
}

Case Faults(const std::string& argument, uint16_t code) {
  return {argument, code, {traffic::Fatal(code)}, traffic::SetUp(), {}};
}

// The whole run, on the card in this process.
traffic::Seen RunWhole(const std::optional<std::string>& argument) {
  const int exitCode = argument ? RunProgram(*argument) : RunProgram(std::nullopt);
  traffic::Seen seen = in_process::Seen();
  seen.exitCode = exitCode;
  return seen;
}

TEST(FrequencyCommandTest, MainFlow) {
  const Case cases[] = {
      {std::nullopt, 0, {traffic::NoFrequency()}, traffic::SetUp(), {}},
      Invalid(""),
      Invalid("abc"),
      Invalid("98,5"),
      Invalid("98.5MHz"),
      Invalid("5e"),
      Invalid("\t98.5"),
      Invalid("1e400x"),  // the digits before the x are 1: no overflow
      TunesTo("98.5", "06, D3"),
      TunesTo("98.50", "06, D3"),
      TunesTo("9.85e1", "06, D3"),
      TunesTo("+98.5", "06, D3"),
      TunesTo(" 98.5", "06, D3"),
      TunesTo("98500000", "06, D3"),
      TunesTo("87.5", "06, 23"),
      TunesTo("108", "07, 6B"),
      TunesTo("87499999.5", "06, 23"),
      TunesTo("108000000.5", "07, 6B"),
      TunesTo("4394967296", "06, EB"),  // low 32 bits: 100,000,000
      TunesTo("1." + std::string(200, '0') + "e2", "06, EB"),
      // The MHz product is rounded to extended, then to double: 93,956,248 Hz
      // in the low 32 bits, divider 1674. A product rounded once, straight to
      // double, would give 93,956,252 Hz and divider 1675.
      TunesTo("-35005031340.463974", "06, 8A"),
      TunesTo("-560710359799.53821", "07, 3E"),
      Refused("87.4999"),
      Refused("108.0001"),
      Refused("1000"),  // 1000 Hz; as 1000 MHz it would be refused too
      Refused("999.99"),
      Refused("-98.5"),
      Refused("999.99999999999999999"),  // stored as 1000.0, refused in either unit
      Refused("0"),
      Refused("1e-5120"),
      Refused("e5119"),  // no digits before the exponent: 0
      Faults("1e19", 207),
      Faults("-1e300", 207),
      Faults("1e5120", 207),
      Faults("0e5120", 207),
      Faults("e5120", 207),  // the scale alone makes it infinite
      Faults("-1e5120", 207),
      Faults("1e4294967298", 207),
      Faults("1e400", 205),
      Faults("-1e303", 205),
      Faults("1e5119", 205),
      // A reading that fails is stored as its digits, one whole number, before
      // its error position counts.
      Faults("2" + std::string(308, '0') + "x", 205),
      Faults("1." + std::string(309, '0') + "x", 205),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument.value_or("(none)").substr(0, 40));
    in_process::Reset();
    traffic::ExpectSeen(c, RunWhole(c.argument), true);
    // Every box of the main flow comes before any traffic of its own.
    for (const size_t calls : in_process::CallsBeforeEachMessage()) {
      EXPECT_EQ(calls, traffic::SetUp().size());
    }
  }
}

std::string Hex4(uint16_t word) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", word);
  return text;
}

// A Windows program starts with the x87 at 53-bit precision, and some
// drivers set it to 53 or 24 bits in every call; nothing but the program sets
// it to what the number rules need. From any start, and whatever the driver
// loads, the whole main flow must run under the program's control word:
// 89.33125 would tune the neighbouring channel at 24 bits, and
// -35005031340.463974 (whose MHz product is rounded twice) would at 53.
TEST(FrequencyCommandTest, RunsUnderItsOwnControlWord) {
  struct Row {
    uint16_t start;
    std::optional<uint16_t> driver;
  };
  const Row rows[] = {
      {0x027F, std::nullopt}, {0x007F, std::nullopt}, {0x0F7F, std::nullopt},
      {0x133F, 0x027F},       {0x133F, 0x007F},       {0x027F, 0x0C7F},
  };
  const uint16_t before = x87::ControlWord();
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << row.start << " " << row.driver.value_or(0));
    for (const auto& [argument, divider] :
         {std::pair{"89.33125", "06, 40"}, {"-35005031340.463974", "06, 8A"}}) {
      std::vector<std::string> settings;
      if (row.driver) {
        settings.push_back(traffic::setting::ControlWord(Hex4(*row.driver)));
      }
      in_process::Reset(settings);
      x87::LoadControlWord(row.start);
      EXPECT_EQ(RunWhole(argument).calls, traffic::Tuned(divider)) << argument;
      EXPECT_EQ(x87::ControlWord(), platform::FpuControlWord);
    }
  }
  x87::LoadControlWord(before);
}

// A driver may return with all eight x87 registers in use (MMX code without
// EMMS, loads never popped); the program's next load would then overflow the
// register stack, and every frequency would end in a fault. It must tune as
// on an empty unit, and leave no register in use behind it.
TEST(FrequencyCommandTest, RunsOnAnEmptiedX87WhateverTheDriverLeft) {
  for (const auto& [argument, divider] :
       {std::pair{"98.5", "06, D3"}, {"89.33125", "06, 40"}, {"-35005031340.463974", "06, 8A"}}) {
    SCOPED_TRACE(argument);
    in_process::Reset({traffic::setting::Driver("leaves-x87-full")});
    const traffic::Seen seen = RunWhole(argument);
    EXPECT_EQ(seen.exitCode, 0);
    EXPECT_EQ(seen.calls, traffic::Tuned(divider));
    EXPECT_EQ(x87::TagWord(), 0xFFFF);
  }
}

}  // namespace
}  // namespace app
