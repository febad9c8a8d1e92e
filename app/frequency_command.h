// The program's main flow: read the frequency argument, tune, set the pins.
#ifndef WAVRIX_APP_FREQUENCY_COMMAND_H_
#define WAVRIX_APP_FREQUENCY_COMMAND_H_

#include <optional>
#include <string_view>

namespace app {

/// Arguments below this are MHz (fm1216::HzPerMhz Hz each); from it on they
/// are Hz.
inline constexpr double MhzBelow = 1000.0;

/// The main flow for the first command-line argument (none when the command
/// line has no argument). Shows at most one message; for a number that gives
/// no fault, tunes it if it lies in the band and sets the pins either way.
/// Returns the process exit code: the error number after a fatal-error report,
/// else 0.
int RunFrequencyCommand(std::optional<std::string_view> argument);

/// One whole run: the floating-point set-up, the card's bus set-up, the main
/// flow and the module shut-downs. Returns the process exit code.
int RunProgram(std::optional<std::string_view> argument);

}  // namespace app

#endif  // WAVRIX_APP_FREQUENCY_COMMAND_H_
