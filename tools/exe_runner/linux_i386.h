// The little of 32-bit x86 Linux the exe runner uses, asked of the kernel
// directly: the runner carries no C library, so that it runs as it is on an
// emulated i486, and on a host that has no 32-bit libraries at all. Results
// follow the kernel's own convention: -errno on failure.
#ifndef WAVRIX_TOOLS_EXE_RUNNER_LINUX_I386_H_
#define WAVRIX_TOOLS_EXE_RUNNER_LINUX_I386_H_

#include <stddef.h>  // NOLINT(modernize-deprecated-headers): freestanding build
#include <stdint.h>  // NOLINT(modernize-deprecated-headers)

namespace linux_i386 {

inline constexpr int StandardError = 2;

inline constexpr int OpenReadOnly = 0;
inline constexpr int OpenWriteNew = 01 | 0100 | 01000;  // O_WRONLY | O_CREAT | O_TRUNC

inline constexpr int ProtectRead = 1;
inline constexpr int ProtectWrite = 2;
inline constexpr int ProtectExecute = 4;

inline constexpr int SignalIllegalInstruction = 4;
inline constexpr int SignalBus = 7;
inline constexpr int SignalArithmetic = 8;
inline constexpr int SignalSegmentation = 11;

/// Whether a system call's result is an error (-4095..-1).
inline bool Failed(intptr_t result) {
  return result < 0 && result > -4096;
}

/// Writes all `length` bytes to `fd`, retrying after partial writes.
void WriteAll(int fd, const char* data, size_t length);
int Open(const char* path, int flags, int mode);
void Close(int fd);
/// Reads up to `length` bytes; the count read, 0 at the end, or -errno.
intptr_t Read(int fd, void* data, size_t length);
/// The size of the open file `fd`, or -errno.
intptr_t FileSize(int fd);

/// Maps `length` bytes of fresh zeroed memory, at `hint` when that is free,
/// else wherever the kernel chooses. Null when there is no room.
uint8_t* MapMemory(uintptr_t hint, size_t length, int protection);
intptr_t Protect(uintptr_t address, size_t length, int protection);

/// What a fault handler is told: the signal and the address of the
/// instruction that raised it.
using FaultHandler = void (*)(int signal, uint32_t instruction);
/// Sends the processor faults (illegal instruction, bus, arithmetic,
/// segmentation) to `handler`, on a stack of its own so that even a
/// program that has worn out its stack is reported.
void CatchFaults(FaultHandler handler);

[[noreturn]] void Exit(int code);

}  // namespace linux_i386

/// The runner's own main, called by the program's entry with what the kernel
/// put on the stack. Returns the exit code.
int RunnerMain(int argc, char** argv, char** envp);

#endif  // WAVRIX_TOOLS_EXE_RUNNER_LINUX_I386_H_
