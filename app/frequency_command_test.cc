#include "app/frequency_command.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "platform/fpu.h"
#include "tests/fake/fake_card.h"

namespace app {
namespace {

using Calls = std::vector<std::string>;

const Calls kSetUp = {"I2CIsInitOK()", "I2CInitHWMode(100000)", "GPIOIsInitOK()", "SetGPIOMODE(0)"};
const Calls kPins = {"GetGPOE()", "SetGPOE(00000F00)", "SetGPDATABits(9,11,2,0)"};

Calls Message(const std::string& text) {
  return {"Message(Wavrix error|" + text + "|1)"};
}

// The bus traffic of a tuning whose tuner locks at the first poll, then the
// pin pattern.
Calls Tuned(const std::string& dividerHigh, const std::string& dividerLow) {
  Calls calls = {"I2CHWWrite3(C0," + dividerHigh + "," + dividerLow + ")",
                 "I2CHWRead(C0)",
                 "I2CHWWrite3(C0,8E,A5)",
                 "Sleep(30)",
                 "I2CHWRead(C0)",
                 "Sleep(1)"};
  calls.insert(calls.end(), kPins.begin(), kPins.end());
  return calls;
}

Calls Refused() {
  Calls calls = Message("Unable to set tuner (frequency?)");
  calls.insert(calls.end(), kPins.begin(), kPins.end());
  return calls;
}

Calls Fatal(int code) {
  return {"Message(Error|Runtime error " + std::to_string(code) + " at 0040A1B4|0)"};
}

struct Case {
  std::optional<std::string> argument;
  int exitCode;
  Calls calls;
};

TEST(FrequencyCommandTest, MainFlow) {
  const Calls invalid = Message("Invalid frequency parameter");
  const Case cases[] = {
      {std::nullopt, 0, Message("No frequency parameter")},
      {"", 0, invalid},
      {"abc", 0, invalid},
      {"98,5", 0, invalid},
      {"98.5MHz", 0, invalid},
      {"5e", 0, invalid},
      {"\t98.5", 0, invalid},
      {"98.5", 0, Tuned("06", "D3")},
      {"98.50", 0, Tuned("06", "D3")},
      {"9.85e1", 0, Tuned("06", "D3")},
      {"+98.5", 0, Tuned("06", "D3")},
      {" 98.5", 0, Tuned("06", "D3")},
      {"98500000", 0, Tuned("06", "D3")},
      {"87.5", 0, Tuned("06", "23")},
      {"108", 0, Tuned("07", "6B")},
      {"87499999.5", 0, Tuned("06", "23")},
      {"108000000.5", 0, Tuned("07", "6B")},
      {"4394967296", 0, Tuned("06", "EB")},  // low 32 bits: 100,000,000
      {"1." + std::string(200, '0') + "e2", 0, Tuned("06", "EB")},
      // The MHz product is rounded to extended, then to double: 93,956,248 Hz
      // in the low 32 bits, divider 1674. A product rounded once, straight to
      // double, would give 93,956,252 Hz and divider 1675.
      {"-35005031340.463974", 0, Tuned("06", "8A")},
      {"-560710359799.53821", 0, Tuned("07", "3E")},
      {"87.4999", 0, Refused()},
      {"108.0001", 0, Refused()},
      {"1000", 0, Refused()},
      {"999.99", 0, Refused()},
      {"-98.5", 0, Refused()},
      {"999.99999999999999999", 0, Refused()},  // stored as 1000.0: 1000 Hz
      {"0", 0, Refused()},
      {"1e-5120", 0, Refused()},
      {"1e19", 207, Fatal(207)},
      {"-1e300", 207, Fatal(207)},
      {"1e5120", 207, Fatal(207)},
      {"0e5120", 207, Fatal(207)},
      {"-1e5120", 207, Fatal(207)},
      {"1e4294967298", 207, Fatal(207)},
      {"1e400", 205, Fatal(205)},
      {"-1e303", 205, Fatal(205)},
      {"1e5119", 205, Fatal(205)},
      {"2" + std::string(308, '0') + "x", 205, Fatal(205)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument.value_or("(none)").substr(0, 40));
    fake::Reset();
    const int exitCode = c.argument ? RunProgram(*c.argument) : RunProgram(std::nullopt);
    EXPECT_EQ(exitCode, c.exitCode);
    const Calls& calls = fake::TheCard().calls;
    ASSERT_GE(calls.size(), kSetUp.size());
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 4), kSetUp);
    EXPECT_EQ(Calls(calls.begin() + 4, calls.end()), c.calls);
  }
}

// The control word as stored, less bit 6, which the x87 always reads as 1.
uint16_t ControlWord() {
  uint16_t word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word & ~0x0040;
}

// A Windows program starts with the x87 at 53-bit precision, and some
// drivers set it to 53 or 24 bits in their set-up; nothing but the program's
// own start-up sets it to what the number rules need. From any start, and
// whatever the driver loads, the whole main flow must run under the
// program's control word: 89.33125 would tune the neighbouring channel at 24
// bits, and -35005031340.463974 (whose MHz product is rounded twice) would at
// 53.
TEST(FrequencyCommandTest, RunsUnderItsOwnControlWord) {
  struct Row {
    uint16_t start;
    std::optional<uint16_t> driver;
  };
  const Row rows[] = {
      {0x027F, std::nullopt}, {0x007F, std::nullopt}, {0x0F7F, std::nullopt},
      {0x133F, 0x027F},       {0x133F, 0x007F},       {0x027F, 0x0C7F},
  };
  const uint16_t before = ControlWord();
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << row.start << " " << row.driver.value_or(0));
    for (const auto& [argument, divider] :
         {std::pair{"89.33125", "40"}, {"-35005031340.463974", "8A"}}) {
      fake::Reset();
      fake::TheCard().setUpControlWord = row.driver;
      fake::LoadControlWord(row.start);
      RunProgram(argument);
      EXPECT_EQ(ControlWord(), platform::FpuControlWord);
      EXPECT_EQ(fake::CallsAfterSetUp(), Tuned("06", divider)) << argument;
    }
  }
  fake::LoadControlWord(before);
}

// The x87 tag word: two bits a register, 11 for empty. FNSTENV masks every
// exception as it stores, so the environment is loaded back.
uint16_t X87TagWord() {
  uint32_t environment[7] = {};
  __asm__ volatile("fnstenv %0\n\tfldenv %0" : "+m"(environment));
  return static_cast<uint16_t>(environment[2]);
}

// A driver's set-up may return with all eight x87 registers in use (MMX code
// without EMMS, loads never popped); the program's first load would then
// overflow the register stack, and every frequency would end in a fault. It
// must tune as on an empty unit, and leave no register in use behind it.
TEST(FrequencyCommandTest, RunsOnAnEmptiedX87WhateverTheDriverLeft) {
  for (const auto& [argument, divider] :
       {std::pair{"98.5", "D3"}, {"89.33125", "40"}, {"-35005031340.463974", "8A"}}) {
    SCOPED_TRACE(argument);
    fake::Reset();
    fake::TheCard().leavesX87Full = true;
    EXPECT_EQ(RunProgram(argument), 0);
    EXPECT_EQ(fake::CallsAfterSetUp(), Tuned("06", divider));
    EXPECT_EQ(X87TagWord(), 0xFFFF);
  }
}

}  // namespace
}  // namespace app
