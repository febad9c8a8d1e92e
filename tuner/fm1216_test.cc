#include "tuner/fm1216.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/in_process_card.h"
#include "tests/traffic.h"

namespace fm1216 {
namespace {

using traffic::Calls;
namespace setting = traffic::setting;

TEST(Fm1216Test, DividerRoundsTiesToEven) {
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

TEST(Fm1216Test, OutOfBandSendsNothing) {
  in_process::Reset();
  for (int32_t hz : {87499999, 108000001, 0, -98500000, INT32_MIN, INT32_MAX}) {
    EXPECT_FALSE(TuneFrequency(hz, true)) << hz;
  }
  const traffic::Seen seen = in_process::Seen();
  EXPECT_EQ(seen.calls, Calls{});
  EXPECT_EQ(seen.waits, std::vector<uint32_t>{});
}

// The bus traffic of one tuning, the time of each call on the virtual clock
// (so that every wait falls where it must between them) and the waits.
TEST(Fm1216Test, TuningSequences) {
  struct Case {
    const char* name;
    int32_t hz;
    bool portBit0;
    const char* statuses;  ///< what the status reads answer, in order
    Calls calls;
    std::vector<uint32_t> callTimesMs;
    std::vector<uint32_t> waits;
  };
  const Case cases[] = {
      {"locks at the first poll",
       98500000,
       true,
       "40",
       traffic::Tuning("06, D3"),
       {0, 0, 0, 30},
       traffic::TuningWaits()},
      {"port bit 0 clear, band edge",
       87500000,
       false,
       "40",
       traffic::Tuning("06, 23", false),
       {0, 0, 0, 30},
       traffic::TuningWaits()},
      {"bit 5 asks for the preliminary pair",
       108000000,
       true,
       "20,00,40",
       {"I2CHWWrite3(C0, 07, 6B) = 0", "I2CHWRead(C0) = 0 -> 20", "I2CHWWrite3(C0, 8E, A1) = 0",
        "I2CHWWrite3(C0, 8E, A5) = 0", "I2CHWRead(C0) = 0 -> 00", "I2CHWRead(C0) = 0 -> 40"},
       {0, 0, 0, 30, 60, 90},
       {30, 30, 30, 1}},
      {"never locks: five polls, no error",
       100000000,
       true,
       "00",
       {"I2CHWWrite3(C0, 06, EB) = 0", "I2CHWRead(C0) = 0 -> 00", "I2CHWWrite3(C0, 8E, A5) = 0",
        "I2CHWRead(C0) = 0 -> 00", "I2CHWRead(C0) = 0 -> 00", "I2CHWRead(C0) = 0 -> 00",
        "I2CHWRead(C0) = 0 -> 00", "I2CHWRead(C0) = 0 -> 00"},
       {0, 0, 0, 30, 60, 90, 120, 150},
       {30, 30, 30, 30, 30, 1}},
      {"failed reads count as status 0",
       100000000,
       true,
       "fail",
       {"I2CHWWrite3(C0, 06, EB) = 0", "I2CHWRead(C0) = 1", "I2CHWWrite3(C0, 8E, A5) = 0",
        "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 1",
        "I2CHWRead(C0) = 1"},
       {0, 0, 0, 30, 60, 90, 120, 150},
       {30, 30, 30, 30, 30, 1}},
      // A driver may leave part of a byte behind when a read fails; with bit 5
      // it would send the preliminary pair, with bit 6 end the polling.
      {"a failed first read leaves 60 behind",
       98500000,
       true,
       "fail:60,40",
       {"I2CHWWrite3(C0, 06, D3) = 0", "I2CHWRead(C0) = 1", "I2CHWWrite3(C0, 8E, A5) = 0",
        "I2CHWRead(C0) = 0 -> 40"},
       {0, 0, 0, 30},
       traffic::TuningWaits()},
      {"failed polls leave 60 behind",
       98500000,
       true,
       "00,fail:60,fail:40=513,40",
       {"I2CHWWrite3(C0, 06, D3) = 0", "I2CHWRead(C0) = 0 -> 00", "I2CHWWrite3(C0, 8E, A5) = 0",
        "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 513", "I2CHWRead(C0) = 0 -> 40"},
       {0, 0, 0, 30, 60, 90},
       {30, 30, 30, 1}},
      // 257 fails by its low byte though it is not 1, and the 20 it leaves is
      // no status; 256 succeeds by its low byte though it is not 0.
      {"only the low result byte tells a failure",
       100000000,
       true,
       "fail:20=257,40=256",
       {"I2CHWWrite3(C0, 06, EB) = 0", "I2CHWRead(C0) = 257", "I2CHWWrite3(C0, 8E, A5) = 0",
        "I2CHWRead(C0) = 256 -> 40"},
       {0, 0, 0, 30},
       traffic::TuningWaits()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    in_process::Reset({setting::Status(c.statuses)});
    EXPECT_TRUE(TuneFrequency(c.hz, c.portBit0));
    const traffic::Seen seen = in_process::Seen();
    EXPECT_EQ(seen.calls, c.calls) << seen.raw;
    EXPECT_EQ(seen.callTimesMs, c.callTimesMs);
    EXPECT_EQ(seen.waits, c.waits);
  }
}

TEST(Fm1216Test, WaitsBetween31And181Ms) {
  in_process::Reset({setting::Status("00,40")});
  TuneFrequency(98500000, true);
  EXPECT_EQ(in_process::NowMs(), 31u);

  in_process::Reset({setting::Status("20")});
  TuneFrequency(98500000, true);
  EXPECT_EQ(in_process::NowMs(), 181u);
}

TEST(Fm1216Test, StatusReadsGiveZeroOnFailure) {
  struct Case {
    const char* read;  ///< the status script's entry
    uint8_t status;
    bool ok;
  };
  const Case cases[] = {
      {"5A", 0x5A, true},           {"fail", 0x00, false},
      {"fail:5A=513", 0x00, false},  // low byte 1: a failure, whatever the rest says
      {"5A=256", 0x5A, true},        // low byte 0
      {"5A=2", 0x5A, true},         {"5A=-1", 0x5A, true},
      {"fail:7F", 0x00, false},  // a failed read's leftover byte is not a status
  };
  // A driver may store a whole word for the byte: the byte, then three more.
  // Nothing of that reaches the status or the caller's byte (and the
  // sanitizer build sees any store past the program's buffer).
  for (const bool storesWord : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.read << (storesWord ? ", stores a word" : ""));
      std::vector<std::string> settings = {setting::Status(c.read)};
      if (storesWord) {
        settings.push_back(setting::Driver("stores-word"));
      }
      in_process::Reset(settings);
      EXPECT_EQ(ReadTunerStatus(), c.status);
      uint8_t value = 0xEE;
      EXPECT_EQ(ReadTunerByte(0xC0, value), c.ok);
      // A failed read leaves the caller's byte as it was.
      EXPECT_EQ(value, c.ok ? 0x5A : 0xEE);
    }
  }
}

TEST(Fm1216Test, RadioPinsKeepOtherOutputsAndReportTheLowByte) {
  struct Case {
    bool radio;
    uint32_t enabledBefore;
    uint32_t enabledAfter;
    int32_t result;
    bool ok;
  };
  const Case cases[] = {
      {true, 0x00000000, 0x00000F00, 0, true},
      {false, 0x80000013, 0x80000F13, 256, true},
      {true, 0x00000F00, 0x00000F00, 1, false},
      {true, 0x00000500, 0x00000F00, 511, false},
  };
  for (const Case& c : cases) {
    in_process::Reset({setting::Gpoe(c.enabledBefore), setting::GpdataResult(c.result)});
    EXPECT_EQ(SetRadioPins(c.radio), c.ok);
    EXPECT_EQ(in_process::Seen().calls,
              traffic::Pins(c.enabledBefore, c.enabledAfter, c.radio, c.result));
  }
}

}  // namespace
}  // namespace fm1216
