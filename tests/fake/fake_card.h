// A recording fake of the card library's nine operations and of the
// platform's message boxes and sleeps, with a virtual clock: tests assert the
// exact sequence of calls and waits, and never really wait.
#ifndef WAVRIX_TESTS_FAKE_FAKE_CARD_H_
#define WAVRIX_TESTS_FAKE_FAKE_CARD_H_

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace fake {

/// What one I2CHWRead answers: the library's result and the byte stored,
/// which a failed read stores only when it `leavesByte`, as a driver may.
struct Read {
  int32_t result = 0;
  uint8_t value = 0;
  bool leavesByte = false;
};

struct Card {
  /// Every call in order, e.g. "I2CHWWrite3(C0,06,D3)", "I2CHWRead(C0)",
  /// "Sleep(30)", "SetGPDATABits(9,11,2,0)", "Message(Wavrix error|...|1)".
  std::vector<std::string> calls;
  /// Answers for the coming reads; once used up, reads succeed with 0x40.
  std::deque<Read> reads;
  uint32_t outputEnable = 0;
  int32_t gpDataResult = 0;
  uint64_t clockMs = 0;  ///< virtual time, advanced only by Sleep
  /// The x87 control word SetGPIOMODE loads, as some drivers' set-up does.
  std::optional<uint16_t> setUpControlWord;
  /// SetGPIOMODE returns with all eight x87 registers in use.
  bool leavesX87Full = false;
  /// Reads store a whole word: the byte, then three non-zero bytes.
  bool storesWholeWord = false;
};

/// The fake's state; Reset() before each test.
Card& TheCard();
void Reset();

/// The card's bus set-up as recorded: the four calls a run begins with.
const std::vector<std::string>& SetUpCalls();

/// The calls made since the last Reset after the first four, which a run
/// makes for the set-up; anything later is kept, set-up calls included.
std::vector<std::string> CallsAfterSetUp();

/// Loads `word` into the x87 control register, as the fake's SetGPIOMODE does
/// with `setUpControlWord`.
void LoadControlWord(uint16_t word);

/// Loads eight values, leaving every x87 register in use, as the fake's
/// SetGPIOMODE does with `leavesX87Full`.
void FillX87Registers();

/// Offset the fake platform reports for every fault location.
inline constexpr uint32_t FakeImageOffset = 0x0040A1B4;

}  // namespace fake

#endif  // WAVRIX_TESTS_FAKE_FAKE_CARD_H_
