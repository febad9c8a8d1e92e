// The thirteen functions wavrix.exe imports, as the runner gives them: the
// four of Windows (MessageBoxA, Sleep and ExitProcess recorded on standard
// error as they happen; GetCommandLineA only returns the line), and the
// card's nine, answered by the simulated card.
#ifndef WAVRIX_TOOLS_EXE_RUNNER_WINDOWS_API_H_
#define WAVRIX_TOOLS_EXE_RUNNER_WINDOWS_API_H_

#include <stdint.h>  // NOLINT(modernize-deprecated-headers): freestanding build

namespace windows_api {

/// What the program will see: its command line, as GetCommandLineA gives
/// it, the environment the simulated card reads, and whether the card's nine
/// operations take the C calling convention (the caller removes the
/// arguments) instead of stdcall.
void SetUp(char* commandLine, char** environment, bool cdeclDriver);

/// The runner's function for `name` of `dll` (its name in any case), or
/// null when it is not one of the thirteen.
void* Resolve(const char* dll, const char* name);

/// Tells where the program lies, so that a fault can be located in it.
void SetImage(uintptr_t base, uint32_t size);

/// Reports a processor fault at `instruction` and ends the runner.
[[noreturn]] void ReportFault(int signal, uint32_t instruction);

}  // namespace windows_api

#endif  // WAVRIX_TOOLS_EXE_RUNNER_WINDOWS_API_H_
