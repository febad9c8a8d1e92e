// Every text Wavrix shows, in one place: zero-terminated, as message boxes
// take them.
#ifndef WAVRIX_APP_MESSAGES_H_
#define WAVRIX_APP_MESSAGES_H_

namespace messages {

/// Caption of every message box of the main flow.
inline constexpr char Caption[] = "Wavrix error";
inline constexpr char NoFrequency[] = "No frequency parameter";
inline constexpr char InvalidFrequency[] = "Invalid frequency parameter";
inline constexpr char TunerRefused[] = "Unable to set tuner (frequency?)";

/// The fatal-error report after an arithmetic fault.
inline constexpr char FatalCaption[] = "Error";
/// The error number is written right-aligned to end at the 17th character,
/// the location over the eight zeros.
inline constexpr char FatalTemplate[] = "Runtime error     at 00000000";

}  // namespace messages

#endif  // WAVRIX_APP_MESSAGES_H_
