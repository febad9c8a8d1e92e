// Every text Wavrix shows, in one place: zero-terminated, as message boxes
// take them.
#ifndef WAVRIX_APP_MESSAGES_H_
#define WAVRIX_APP_MESSAGES_H_

#include <cstddef>

namespace messages {

/// Caption of every message box of the main flow.
inline constexpr char Caption[] = "Wavrix error";
inline constexpr char NoFrequency[] = "No frequency parameter";
inline constexpr char InvalidFrequency[] = "Invalid frequency parameter";
inline constexpr char TunerRefused[] = "Unable to set tuner (frequency?)";

/// The fatal-error report after an arithmetic fault.
inline constexpr char FatalCaption[] = "Error";
/// The error number is written into the blanks, right-aligned so that its
/// last digit is the 17th character; the location goes over the zeros.
inline constexpr char FatalTemplate[] = "Runtime error     at 00000000";
/// The error number's places: FatalCodeDigits of them, ending just before
/// FatalCodeEnd (0-based), so the last digit is the 17th character.
inline constexpr size_t FatalCodeEnd = 17;
inline constexpr size_t FatalCodeDigits = 3;
/// The location's places: eight upper-case hex digits from FatalLocationAt.
inline constexpr size_t FatalLocationAt = 21;
inline constexpr size_t FatalLocationDigits = 8;

static_assert(sizeof FatalTemplate == FatalLocationAt + FatalLocationDigits + 1,
              "the location ends the report");
static_assert(FatalTemplate[FatalCodeEnd - FatalCodeDigits - 2] == 'r' &&
                  FatalTemplate[FatalCodeEnd - FatalCodeDigits - 1] == ' ' &&
                  FatalTemplate[FatalCodeEnd - FatalCodeDigits] == ' ' &&
                  FatalTemplate[FatalCodeEnd - 1] == ' ' && FatalTemplate[FatalCodeEnd] == ' ',
              "the error number's places are blanks, one blank after \"error\"");
static_assert(FatalTemplate[FatalLocationAt - 1] == ' ' && FatalTemplate[FatalLocationAt] == '0',
              "the location's places are the zeros");

}  // namespace messages

#endif  // WAVRIX_APP_MESSAGES_H_
