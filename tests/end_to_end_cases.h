// The end-to-end cases: one table that both builds run, the Linux program
// with its argument, the Windows program with an exact command line, and both
// must give these results.
#ifndef WAVRIX_TESTS_END_TO_END_CASES_H_
#define WAVRIX_TESTS_END_TO_END_CASES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

struct Message {
  std::string caption;
  std::string text;  ///< a regular expression (the fault location varies)
  uint32_t style;
};

struct Case {
  std::string name;
  /// The whole command line as Windows hands it over, program name first.
  std::string commandLine;
  /// What the Linux program gets as argv[1] for the same request: the first
  /// argument the command line holds, none when it holds none.
  std::optional<std::string> argument;
  /// The simulated tuner's status script (WAVRIX_SIM_STATUS), empty: default.
  std::string status;
  std::vector<Message> messages;
  int exitCode = 0;
  /// The calls the simulated card traced, as "I2CHWWrite3(C0, 06, D3) = 0".
  std::vector<std::string> calls;
  /// The waits asked of the operating system, in ms, in order.
  std::vector<uint32_t> waits;
};

std::vector<Case> Cases();

}  // namespace e2e

#endif  // WAVRIX_TESTS_END_TO_END_CASES_H_
