// The exe runner's own exit codes, apart from the codes the program ends with
// (0, 205 and 207 for wavrix.exe). The tests read them too.
#ifndef WAVRIX_TOOLS_EXE_RUNNER_EXIT_CODES_H_
#define WAVRIX_TOOLS_EXE_RUNNER_EXIT_CODES_H_

namespace exe_runner {

inline constexpr int UsageError = 240;
/// The file is no 32-bit Windows program the runner can map.
inline constexpr int NotLoadable = 241;
/// The program imports something other than its thirteen functions, or
/// imports by ordinal.
inline constexpr int ImportRefused = 242;
/// The processor refused an instruction (or an access) of the program.
inline constexpr int ProcessorFault = 243;
/// The program returned from its entry point instead of calling ExitProcess.
inline constexpr int ReturnedFromEntry = 244;

}  // namespace exe_runner

#endif  // WAVRIX_TOOLS_EXE_RUNNER_EXIT_CODES_H_
