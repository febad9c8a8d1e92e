#include "app/frequency_command.h"

#include <cstdint>
#include <optional>
#include <string_view>

#include "app/decimal.h"
#include "app/faults.h"
#include "app/messages.h"
#include "cardbus/btvid_32.h"
#include "platform/fpu.h"
#include "platform/platform.h"
#include "tuner/fm1216.h"

namespace app {
namespace {

void ShowError(const char* text) {
  platform::ShowMessageBox(messages::Caption, text, platform::MessageStyleOkCancel);
}

}  // namespace

int RunFrequencyCommand(std::optional<std::string_view> argument) {
  if (!argument) {
    ShowError(messages::NoFrequency);
    return 0;
  }

  // The run's two values: the argument as read, then the frequency in Hz; and
  // where reading stopped (0 when the whole argument was a number).
  double Frequency = 0.0;
  int32_t ParseErrorPos = 0;

  const decimal::Reading reading = decimal::ParseDecimal(*argument);
  if (reading.fault) {
    return faults::Report(reading.fault);
  }
  // The value is stored before its error position is looked at, so a failed
  // reading whose digits make a number past the double range overflows here
  // rather than being invalid.
  if (const faults::Fault fault = faults::StoreDouble(reading.value, Frequency)) {
    return faults::Report(fault);
  }
  ParseErrorPos = reading.errorPos;
  if (ParseErrorPos != 0) {
    ShowError(messages::InvalidFrequency);
    return 0;
  }

  if (Frequency < MhzBelow) {
    // Formed in extended precision, then stored: the product is rounded twice,
    // and that second rounding is part of what a frequency means.
    const long double hz = static_cast<long double>(Frequency) * fm1216::HzPerMhz;
    if (const faults::Fault fault = faults::StoreDouble(hz, Frequency)) {
      return faults::Report(fault);
    }
  }

  int64_t rounded = 0;
  if (const faults::Fault fault = faults::RoundToInt64(Frequency, rounded)) {
    return faults::Report(fault);
  }
  // The tuner takes a signed 32-bit frequency: the low 32 bits of the rounding.
  const int32_t hz = static_cast<int32_t>(static_cast<uint32_t>(rounded));

  if (!fm1216::TuneFrequency(hz, true)) {
    ShowError(messages::TunerRefused);
  }
  // The pin pattern follows every number read without a fault, whether the
  // tuner took the frequency or not.
  fm1216::SetRadioPins(true);
  return 0;
}

int RunProgram(std::optional<std::string_view> argument) {
  // The program's control word, first of all. The call gate loads it again
  // after every driver call, and the bus set-up's first call comes before
  // any arithmetic, so today this load decides no result; it stays so that
  // the driver's first call, and any arithmetic ever put before it, runs
  // under the program's word and not under whatever the process began with.
  platform::SetFpuControlWord();
  btvid_32::StartUp();
  fm1216::StartUp();
  const int exitCode = RunFrequencyCommand(argument);
  fm1216::ShutDown();
  btvid_32::ShutDown();
  return exitCode;
}

}  // namespace app
