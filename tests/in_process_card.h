// The simulated card in the tests' own process, with the platform the
// program meets (message boxes, waits, image offsets) recorded beside it and
// a virtual clock that only the program's waits move. A test sets the card
// up, runs any part of the program, and reads what it did in the vocabulary
// of a run of the built program (tests/traffic.h). Nothing really waits.
#ifndef WAVRIX_TESTS_IN_PROCESS_CARD_H_
#define WAVRIX_TESTS_IN_PROCESS_CARD_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/traffic.h"

namespace in_process {

/// A new card with `settings` ("NAME=value", as the card library reads them
/// from its environment; traffic::setting makes them), its trace on with the
/// time column, the clock at 0 and nothing recorded.
void Reset(const std::vector<std::string>& settings = {});

/// What the program did since the last Reset: the card's calls and when each
/// came, the waits, the boxes, and the card's whole trace and complaints as
/// `raw`. The exit code is the caller's to fill in.
traffic::Seen Seen();

/// For each box shown since the last Reset, how many card calls came before
/// it.
std::vector<size_t> CallsBeforeEachMessage();

/// Milliseconds waited since the last Reset.
uint64_t NowMs();

/// The offset the platform gives for every place in the program.
inline constexpr uint32_t ImageOffset = 0x0040A1B4;

}  // namespace in_process

#endif  // WAVRIX_TESTS_IN_PROCESS_CARD_H_
