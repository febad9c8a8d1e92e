#include "tuner/fm1216.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/fake/fake_card.h"

namespace fm1216 {
namespace {

using Calls = std::vector<std::string>;

class Fm1216Test : public ::testing::Test {
 protected:
  void SetUp() override { fake::Reset(); }
};

TEST_F(Fm1216Test, DividerRoundsTiesToEven) {
  struct Case {
    int32_t hz;
    uint16_t divider;
  };
  const Case cases[] = {
      {87500000, 1571},  {98500000, 1747}, {100000000, 1771},
      {108000000, 1899}, {89331250, 1600},  // exactly 1600.5
      {89393750, 1602},                     // exactly 1601.5
      {89362500, 1601},                     // exactly 1601.0
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DividerForFrequency(c.hz), c.divider) << c.hz;
  }
}

TEST_F(Fm1216Test, OutOfBandSendsNothing) {
  for (int32_t hz : {87499999, 108000001, 0, -98500000, INT32_MIN, INT32_MAX}) {
    EXPECT_FALSE(TuneFrequency(hz, true)) << hz;
  }
  EXPECT_TRUE(fake::TheCard().calls.empty());
}

TEST_F(Fm1216Test, TuningSequences) {
  struct Case {
    const char* name;
    int32_t hz;
    bool portBit0;
    std::vector<fake::Read> reads;
    Calls calls;
  };
  const fake::Read kLocked{0, 0x40};
  const fake::Read kIdle{0, 0x00};
  const fake::Read kFailed{1, 0x40};  // the byte is ignored: the read failed
  const Case cases[] = {
      {"locks at the first poll",
       98500000,
       true,
       {kIdle, kLocked},
       {"I2CHWWrite3(C0,06,D3)", "I2CHWRead(C0)", "I2CHWWrite3(C0,8E,A5)", "Sleep(30)",
        "I2CHWRead(C0)", "Sleep(1)"}},
      {"port bit 0 clear, band edges",
       87500000,
       false,
       {kIdle, kLocked},
       {"I2CHWWrite3(C0,06,23)", "I2CHWRead(C0)", "I2CHWWrite3(C0,8E,A4)", "Sleep(30)",
        "I2CHWRead(C0)", "Sleep(1)"}},
      {"bit 5 asks for the preliminary pair",
       108000000,
       true,
       {{0, 0x20}, {0, 0x00}, kLocked},
       {"I2CHWWrite3(C0,07,6B)", "I2CHWRead(C0)", "I2CHWWrite3(C0,8E,A1)", "Sleep(30)",
        "I2CHWWrite3(C0,8E,A5)", "Sleep(30)", "I2CHWRead(C0)", "Sleep(30)", "I2CHWRead(C0)",
        "Sleep(1)"}},
      {"never locks: five polls, no error",
       100000000,
       true,
       {kIdle, kIdle, kIdle, kIdle, kIdle, kIdle},
       {"I2CHWWrite3(C0,06,EB)", "I2CHWRead(C0)", "I2CHWWrite3(C0,8E,A5)", "Sleep(30)",
        "I2CHWRead(C0)", "Sleep(30)", "I2CHWRead(C0)", "Sleep(30)", "I2CHWRead(C0)", "Sleep(30)",
        "I2CHWRead(C0)", "Sleep(30)", "I2CHWRead(C0)", "Sleep(1)"}},
      {"failed reads count as status 0",
       100000000,
       true,
       {{1, 0x60}, kFailed, kFailed, kFailed, kFailed, kFailed},
       {"I2CHWWrite3(C0,06,EB)", "I2CHWRead(C0)", "I2CHWWrite3(C0,8E,A5)", "Sleep(30)",
        "I2CHWRead(C0)", "Sleep(30)", "I2CHWRead(C0)", "Sleep(30)", "I2CHWRead(C0)", "Sleep(30)",
        "I2CHWRead(C0)", "Sleep(30)", "I2CHWRead(C0)", "Sleep(1)"}},
      // A driver may leave part of a byte behind when a read fails; with bit 5
      // it would send the preliminary pair, with bit 6 end the polling.
      {"a failed first read leaves 60 behind",
       98500000,
       true,
       {{1, 0x60, true}, kLocked},
       {"I2CHWWrite3(C0,06,D3)", "I2CHWRead(C0)", "I2CHWWrite3(C0,8E,A5)", "Sleep(30)",
        "I2CHWRead(C0)", "Sleep(1)"}},
      {"failed polls leave 60 behind",
       98500000,
       true,
       {kIdle, {1, 0x60, true}, {0x201, 0x40, true}, kLocked},
       {"I2CHWWrite3(C0,06,D3)", "I2CHWRead(C0)", "I2CHWWrite3(C0,8E,A5)", "Sleep(30)",
        "I2CHWRead(C0)", "Sleep(30)", "I2CHWRead(C0)", "Sleep(30)", "I2CHWRead(C0)", "Sleep(1)"}},
      {"only the low result byte tells a failure",
       100000000,
       true,
       {{0x101, 0x20}, {0x100, 0x40}},
       {"I2CHWWrite3(C0,06,EB)", "I2CHWRead(C0)", "I2CHWWrite3(C0,8E,A5)", "Sleep(30)",
        "I2CHWRead(C0)", "Sleep(1)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::Reset();
    fake::TheCard().reads.assign(c.reads.begin(), c.reads.end());
    EXPECT_TRUE(TuneFrequency(c.hz, c.portBit0));
    EXPECT_EQ(fake::TheCard().calls, c.calls);
  }
}

TEST_F(Fm1216Test, WaitsBetween31And181Ms) {
  fake::TheCard().reads = {{0, 0x00}, {0, 0x40}};
  TuneFrequency(98500000, true);
  EXPECT_EQ(fake::TheCard().clockMs, 31u);

  fake::Reset();
  fake::TheCard().reads.assign(6, fake::Read{0, 0x20});
  TuneFrequency(98500000, true);
  EXPECT_EQ(fake::TheCard().clockMs, 181u);
}

TEST_F(Fm1216Test, StatusReadsGiveZeroOnFailure) {
  struct Case {
    fake::Read read;
    uint8_t status;
    bool ok;
  };
  const Case cases[] = {
      {{0, 0x5A}, 0x5A, true},        {{1, 0x5A}, 0x00, false}, {{0x201, 0x5A}, 0x00, false},
      {{0x100, 0x5A}, 0x5A, true},    {{2, 0x5A}, 0x5A, true},  {{-1, 0x5A}, 0x5A, true},
      {{1, 0x7F, true}, 0x00, false},  // a failed read's leftover byte is not a status
  };
  // A driver may store a whole word for the byte: the byte, then three more.
  // Nothing of that reaches the status or the caller's byte (and the
  // sanitizer build sees any store past the program's buffer).
  for (const bool storesWholeWord : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.read.result << (storesWholeWord ? ", word" : ""));
      fake::Reset();
      fake::TheCard().storesWholeWord = storesWholeWord;
      fake::TheCard().reads = {c.read, c.read};
      EXPECT_EQ(ReadTunerStatus(), c.status);
      uint8_t value = 0xEE;
      EXPECT_EQ(ReadTunerByte(0xC0, value), c.ok);
      // A failed read leaves the caller's byte as it was.
      EXPECT_EQ(value, c.ok ? c.read.value : 0xEE);
    }
  }
}

TEST_F(Fm1216Test, RadioPinsKeepOtherOutputsAndReportTheLowByte) {
  struct Case {
    bool radio;
    uint32_t enabledBefore;
    int32_t result;
    bool ok;
    Calls calls;
  };
  const Case cases[] = {
      {true, 0x00000000, 0, true, {"GetGPOE()", "SetGPOE(00000F00)", "SetGPDATABits(9,11,2,0)"}},
      {false,
       0x80000013,
       0x100,
       true,
       {"GetGPOE()", "SetGPOE(80000F13)", "SetGPDATABits(9,11,6,0)"}},
      {true, 0x00000F00, 1, false, {"GetGPOE()", "SetGPOE(00000F00)", "SetGPDATABits(9,11,2,0)"}},
      {true,
       0x00000500,
       0x1FF,
       false,
       {"GetGPOE()", "SetGPOE(00000F00)", "SetGPDATABits(9,11,2,0)"}},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::TheCard().outputEnable = c.enabledBefore;
    fake::TheCard().gpDataResult = c.result;
    EXPECT_EQ(SetRadioPins(c.radio), c.ok);
    EXPECT_EQ(fake::TheCard().calls, c.calls);
  }
}

}  // namespace
}  // namespace fm1216
