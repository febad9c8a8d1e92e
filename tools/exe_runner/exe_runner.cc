// The exe runner: starts wavrix.exe on 32-bit x86 Linux, without Windows or
// Wine, so that the tests can run the very exe that ships on an emulated
// i486DX or Pentium (qemu-i386 -cpu 486, -cpu pentium) on any host.
//
//   wavrix_runner [--elsewhere] [--cdecl] PROGRAM.EXE COMMAND-LINE
//   wavrix_runner --probe-x87
//
// It loads the program as the Windows loader does (pe_image), binds its
// thirteen imports to its own versions of them (windows_api), and starts it
// as Windows 9x would: on a stack aligned to 4 bytes only, with the x87
// control word Windows leaves, 0x027F. COMMAND-LINE is what GetCommandLineA
// returns, byte for byte. Every MessageBoxA, Sleep and ExitProcess is written
// on standard error as it happens; the card's nine operations are the
// simulated card's, configured and traced by the WAVRIX_SIM_* variables.
// With --elsewhere the image is loaded 256 MiB above its base, so that its
// base relocations are applied; with --cdecl the card's operations are those
// of a driver built with the C calling convention, which leaves its
// arguments for the caller to remove. --probe-x87 tells whether the
// processor it runs on faults on an x87 register-stack overflow: it prints
// the status word after nine loads into an emptied unit (0041, invalid
// operation and stack fault, on a real x87; QEMU's gives 0000). The runner
// ends with the program's exit code, or with one of its own (exit_codes.h).
#include <stdint.h>  // NOLINT(modernize-deprecated-headers): freestanding build

#include "simcard/text.h"
#include "tools/exe_runner/exit_codes.h"
#include "tools/exe_runner/linux_i386.h"
#include "tools/exe_runner/pe_image.h"
#include "tools/exe_runner/say.h"
#include "tools/exe_runner/windows_api.h"

namespace {

// The x87 control word a Windows process starts with: every exception
// masked, rounding to nearest, 53-bit precision.
constexpr uint16_t kWindowsControlWord = 0x027F;

// The program's stack: as much as its header reserves, within reason.
constexpr uint32_t kLeastStackBytes = 64 * 1024;
constexpr uint32_t kMostStackBytes = 16 * 1024 * 1024;

}  // namespace

// Where the entry point returns to, should it return: Windows would end the
// process, but wavrix.exe must end itself with ExitProcess.
extern "C" [[noreturn, gnu::used]] void RunnerEntryReturned() {
  say::Say("the program returned from its entry point instead of calling ExitProcess");
  linux_i386::Exit(exe_runner::ReturnedFromEntry);
}

namespace {

// Calls the entry point on a fresh stack. Before the return address is
// pushed, the stack pointer is 8 past a multiple of 16; at the entry it is
// 4 past one: aligned to 4 bytes only, never to 16, as on Windows 9x.
[[noreturn]] void Enter(uintptr_t entry, uintptr_t stackTop) {
  const uintptr_t stack = (stackTop & ~uintptr_t{15}) - 8;
  __asm__ volatile(
      "movl %0, %%esp\n\t"
      "pushl $RunnerEntryReturned\n\t"
      "fninit\n\t"
      "fldcw %2\n\t"
      "cld\n\t"
      "jmp *%1"
      :
      : "r"(stack), "r"(entry), "m"(kWindowsControlWord)
      : "memory");
  __builtin_unreachable();
}

// Nine loads into eight registers, and the status word they leave.
uint16_t X87StatusAfterNineLoads() {
  uint16_t status = 0;  // NOLINT(misc-const-correctness): the asm writes it
  __asm__ volatile(
      "fninit\n\t"
      "fld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\t"
      "fnstsw %0\n\t"
      "fninit"
      : "=m"(status));
  return status;
}

}  // namespace

int RunnerMain(int argc, char** argv, char** envp) {
  if (argc == 2 && simcard::Equals(argv[1], "--probe-x87")) {
    say::Line line = say::Start();
    simcard::Add(line, "x87 status after nine loads: ");
    simcard::AddHex(line, X87StatusAfterNineLoads() & 0x7F, 4);
    say::Emit(line);
    return 0;
  }
  int first = 1;
  const bool elsewhere = first < argc && simcard::Equals(argv[first], "--elsewhere");
  first += elsewhere ? 1 : 0;
  const bool cdeclDriver = first < argc && simcard::Equals(argv[first], "--cdecl");
  first += cdeclDriver ? 1 : 0;
  if (argc - first != 2) {
    say::Say("usage: wavrix_runner [--elsewhere] [--cdecl] PROGRAM.EXE COMMAND-LINE");
    return exe_runner::UsageError;
  }
  windows_api::SetUp(argv[first + 1], envp, cdeclDriver);
  pe_image::Image image;
  switch (pe_image::Load(argv[first], elsewhere, &windows_api::Resolve, image)) {
    case pe_image::Outcome::kLoaded:
      break;
    case pe_image::Outcome::kNotLoadable:
      return exe_runner::NotLoadable;
    case pe_image::Outcome::kImportRefused:
      return exe_runner::ImportRefused;
  }
  windows_api::SetImage(image.base, image.size);
  uint32_t stackBytes = image.stackReserve < kLeastStackBytes  ? kLeastStackBytes
                        : image.stackReserve > kMostStackBytes ? kMostStackBytes
                                                               : image.stackReserve;
  stackBytes = (stackBytes + 4095) & ~4095U;
  const uint8_t* stack =
      linux_i386::MapMemory(0, stackBytes, linux_i386::ProtectRead | linux_i386::ProtectWrite);
  if (stack == nullptr) {
    say::Say("no room for the program's stack");
    return exe_runner::NotLoadable;
  }
  linux_i386::CatchFaults(&windows_api::ReportFault);
  Enter(image.entry, reinterpret_cast<uintptr_t>(stack) + stackBytes);
}
