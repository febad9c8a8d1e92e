// Every text Wavrix shows, in one place.
#ifndef WAVRIX_APP_MESSAGES_H_
#define WAVRIX_APP_MESSAGES_H_

#include <string_view>

namespace messages {

/// Caption of every message box of the main flow.
inline constexpr std::string_view Caption = "Wavrix error";
inline constexpr std::string_view NoFrequency = "No frequency parameter";
inline constexpr std::string_view InvalidFrequency = "Invalid frequency parameter";
inline constexpr std::string_view TunerRefused = "Unable to set tuner (frequency?)";

/// The fatal-error report after an arithmetic fault.
inline constexpr std::string_view FatalCaption = "Error";
/// The error number is written right-aligned to end at the 17th character,
/// the location over the eight zeros.
inline constexpr std::string_view FatalTemplate = "Runtime error     at 00000000";

}  // namespace messages

#endif  // WAVRIX_APP_MESSAGES_H_
