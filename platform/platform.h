// What the operating system provides to Wavrix: the command line, message
// boxes, sleeping, the end of the process and the position of code inside the
// loaded program image. Each build links one implementation (posix.cc on
// Linux, win32.cc on Windows); tests link a recording one instead
// (tests/in_process_card.cc). Nothing here allocates, and the Windows one
// needs no language runtime.
#ifndef WAVRIX_PLATFORM_PLATFORM_H_
#define WAVRIX_PLATFORM_PLATFORM_H_

#include <cstdint>
#include <string_view>

namespace platform {

/// Message box styles the program uses.
inline constexpr uint32_t MessageStyleOk = 0;        // OK button alone
inline constexpr uint32_t MessageStyleOkCancel = 1;  // OK and Cancel, no icon

/// Shows the zero-terminated `text` under `caption` with the given button
/// style and waits for the user. The button pressed is of no interest to the
/// program. On Linux this is one line, "caption: text", on standard error.
void ShowMessageBox(const char* caption, const char* text, uint32_t style);

/// Blocks the calling thread for at least `ms` milliseconds, without spinning.
void SleepMilliseconds(uint32_t ms);

/// Offset of `code` from the start of the program's loaded image, cut to 32
/// bits; used to say where an arithmetic fault was detected.
uint32_t ImageOffset(const void* code);

#if defined(_WIN32)
/// The whole command line as Windows hands it over, program name first.
std::string_view CommandLine();

/// Ends the process with `exitCode`; never returns.
[[noreturn]] void ExitProcessWith(uint32_t exitCode);
#endif

}  // namespace platform

#endif  // WAVRIX_PLATFORM_PLATFORM_H_
