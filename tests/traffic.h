// What the program shows and sends, in the one vocabulary every test of it
// speaks: the simulated card's trace ("I2CHWWrite3(C0, 06, D3) = 0"), the
// waits asked of the operating system, and the message boxes. The unit tests
// (the card in the same process), the runs of the built programs, the
// fuzzers and the benchmarks all expect through these, so that the bus
// set-up, the pin pattern and the traffic of a plain tuning are each written
// down here once.
#ifndef WAVRIX_TESTS_TRAFFIC_H_
#define WAVRIX_TESTS_TRAFFIC_H_

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace traffic {

using Calls = std::vector<std::string>;

/// The card's bus set-up, the four calls every run begins with.
const Calls& SetUp();

/// The pin pattern: the output-enable mask read (`enabledBefore`) and written
/// back with outputs 8 to 11 on (`enabledAfter`), then the radio pattern
/// (`radio`) or the TV one on pins 9 to 11, SetGPDATABits answering `result`.
Calls Pins(uint32_t enabledBefore = 0, uint32_t enabledAfter = 0x00000F00, bool radio = true,
           int32_t result = 0);

/// A plain tuning, whose first status read asks for no preliminary pair and
/// whose first poll sees lock: the divider pair ("06, D3"), then the final
/// pair with port bit 0 set (A5) or clear (A4).
Calls Tuning(const std::string& divider, bool portBit0 = true);
/// Its waits, in ms: one poll, then the last pause.
const std::vector<uint32_t>& TuningWaits();

/// A whole run that tunes `divider` plainly: set-up, tuning, pins.
Calls Tuned(const std::string& divider);
/// A whole run whose frequency the tuner refused: set-up, then the pins.
Calls Refused();

/// All of `parts`, one after the other.
Calls Join(std::initializer_list<Calls> parts);

struct Message {
  std::string caption;
  std::string text;  ///< a regular expression (the fault location varies)
  uint32_t style;
};

/// A box of the main flow with `text` (a regular expression).
Message Box(const std::string& text);
Message NoFrequency();
Message InvalidFrequency();
Message TunerRefused();
/// The fatal-error report for error `code`, at any location.
Message Fatal(uint16_t code);

/// What one run showed.
struct Seen {
  int exitCode = -1;
  std::string out;
  std::vector<Message> messages;  ///< texts as shown, not patterns
  std::vector<std::string> calls;
  std::vector<uint32_t> callTimesMs;  ///< when each call came, where the run shows it
  std::vector<uint32_t> waits;
  bool waitsSeen = false;  ///< whether this run can see the waits
  std::string raw;         ///< everything the run printed, for failure reports
};

/// The call part of each line of the simulated card's trace, as
/// "I2CHWWrite3(C0, 06, D3) = 0"; with the time column on, the times go to
/// `timesMs`.
Calls TracedCalls(const std::string& trace, std::vector<uint32_t>* timesMs = nullptr);

/// The simulated card's settings, as "NAME=value" entries.
namespace setting {
std::string Status(const std::string& list);
std::string Gpoe(uint32_t mask);
std::string GpdataResult(int32_t result);
std::string ControlWord(const std::string& hex);
std::string Driver(const std::string& traits);
}  // namespace setting

}  // namespace traffic

#endif  // WAVRIX_TESTS_TRAFFIC_H_
