// What the operating system provides to Wavrix: message boxes, sleeping and
// the position of code inside the loaded program image. Each build links one
// implementation (posix.cc on Linux); tests link recording fakes instead.
#ifndef WAVRIX_PLATFORM_PLATFORM_H_
#define WAVRIX_PLATFORM_PLATFORM_H_

#include <cstdint>
#include <string_view>

namespace platform {

/// Message box styles the program uses.
inline constexpr uint32_t MessageStyleOk = 0;        // OK button alone
inline constexpr uint32_t MessageStyleOkCancel = 1;  // OK and Cancel, no icon

/// Shows `text` under `caption` with the given button style and waits for the
/// user. The button pressed is of no interest to the program. On Linux this is
/// one line, "caption: text", on standard error.
void ShowMessageBox(std::string_view caption, std::string_view text, uint32_t style);

/// Blocks the calling thread for at least `ms` milliseconds, without spinning.
void SleepMilliseconds(uint32_t ms);

/// Offset of `code` from the start of the program's loaded image, cut to 32
/// bits; used to say where an arithmetic fault was detected.
uint32_t ImageOffset(const void* code);

}  // namespace platform

#endif  // WAVRIX_PLATFORM_PLATFORM_H_
