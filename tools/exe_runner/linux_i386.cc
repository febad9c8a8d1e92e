#include "tools/exe_runner/linux_i386.h"

#include <stddef.h>  // NOLINT(modernize-deprecated-headers): freestanding build
#include <stdint.h>  // NOLINT(modernize-deprecated-headers)

namespace linux_i386 {
namespace {

// System call numbers of 32-bit x86 Linux.
constexpr intptr_t kRead = 3;
constexpr intptr_t kWrite = 4;
constexpr intptr_t kOpen = 5;
constexpr intptr_t kClose = 6;
constexpr intptr_t kSeek = 19;
constexpr intptr_t kMapWithArgumentBlock = 90;  // the old mmap: one pointer to six words
constexpr intptr_t kProtect = 125;
constexpr intptr_t kSignalAction = 174;
constexpr intptr_t kSignalStack = 186;
constexpr intptr_t kExitGroup = 252;

constexpr intptr_t kEintr = -4;

intptr_t Call(intptr_t number, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0, intptr_t d = 0) {
  intptr_t result = number;  // NOLINT(misc-const-correctness): the asm writes it
  __asm__ volatile("int $0x80" : "+a"(result) : "b"(a), "c"(b), "d"(c), "S"(d) : "memory");
  return result;
}

// The kernel's own layout of a signal action for rt_sigaction, which reads
// every member: none is unused.
struct SignalAction {
  void (*handler)(int, void*, void*);  // cppcheck-suppress unusedStructMember
  uint32_t flags;                      // cppcheck-suppress unusedStructMember
  void (*restorer)();                  // cppcheck-suppress unusedStructMember
  uint32_t mask[2];
};
constexpr uint32_t kWantInfo = 0x4;             // SA_SIGINFO
constexpr uint32_t kOnOwnStack = 0x08000000;    // SA_ONSTACK
constexpr uint32_t kResetHandler = 0x80000000;  // SA_RESETHAND: a fault in the handler ends it

// Where the interrupted instruction's address sits in the context the
// kernel hands a handler: after the context's flags, link and stack (five
// words), eip is word 14 of the saved registers.
constexpr size_t kContextEipWord = 5 + 14;

FaultHandler faultHandler = nullptr;
// The fault handler's own stack.
alignas(16) char faultStack[64 * 1024];

void OnFault(int signal, void* /*info*/, void* context) {
  faultHandler(signal, static_cast<const uint32_t*>(context)[kContextEipWord]);
  Exit(128 + signal);  // the handler ends the process itself; this is a backstop
}

}  // namespace

void WriteAll(int fd, const char* data, size_t length) {
  while (length > 0) {
    const intptr_t written =
        Call(kWrite, fd, reinterpret_cast<intptr_t>(data), static_cast<intptr_t>(length));
    if (written == kEintr) {
      continue;
    }
    if (Failed(written) || written == 0) {
      return;  // nowhere left to say anything
    }
    data += written;
    length -= static_cast<size_t>(written);
  }
}

int Open(const char* path, int flags, int mode) {
  return static_cast<int>(Call(kOpen, reinterpret_cast<intptr_t>(path), flags, mode));
}

void Close(int fd) {
  (void)Call(kClose, fd);
}

intptr_t Read(int fd, void* data, size_t length) {
  intptr_t got = kEintr;
  while (got == kEintr) {
    got = Call(kRead, fd, reinterpret_cast<intptr_t>(data), static_cast<intptr_t>(length));
  }
  return got;
}

intptr_t FileSize(int fd) {
  const intptr_t size = Call(kSeek, fd, 0, 2 /* SEEK_END */);
  if (Failed(size)) {
    return size;
  }
  const intptr_t start = Call(kSeek, fd, 0, 0 /* SEEK_SET */);
  return Failed(start) ? start : size;
}

uint8_t* MapMemory(uintptr_t hint, size_t length, int protection) {
  constexpr uint32_t kPrivateAnonymous = 0x02 | 0x20;  // MAP_PRIVATE | MAP_ANONYMOUS
  const uint32_t block[6] = {
      hint, length, static_cast<uint32_t>(protection), kPrivateAnonymous, 0xFFFFFFFFU, 0};
  const intptr_t address = Call(kMapWithArgumentBlock, reinterpret_cast<intptr_t>(block));
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the kernel answers with an address
  return Failed(address) ? nullptr : reinterpret_cast<uint8_t*>(address);
}

intptr_t Protect(uintptr_t address, size_t length, int protection) {
  return Call(kProtect, static_cast<intptr_t>(address), static_cast<intptr_t>(length), protection);
}

void CatchFaults(FaultHandler handler) {
  faultHandler = handler;
  const uint32_t stack[3] = {reinterpret_cast<uintptr_t>(faultStack), 0, sizeof faultStack};
  (void)Call(kSignalStack, reinterpret_cast<intptr_t>(stack));
  SignalAction action{&OnFault, kWantInfo | kOnOwnStack | kResetHandler, nullptr, {0, 0}};
  const int signals[] = {SignalIllegalInstruction, SignalBus, SignalArithmetic, SignalSegmentation};
  for (const int signal : signals) {
    (void)Call(kSignalAction, signal, reinterpret_cast<intptr_t>(&action), 0, sizeof action.mask);
  }
}

void Exit(int code) {
  for (;;) {
    (void)Call(kExitGroup, code);
  }
}

}  // namespace linux_i386

// What the compiler may call for copies and clearings of its own, even in a
// program without a C library. Written as string instructions so that no
// optimiser can turn them back into calls of themselves.
// NOLINTBEGIN(misc-include-cleaner): the C library's own functions, defined
// here, where no header of it is included, with names it would declare.
extern "C" void* memcpy(void* to, const void* from, size_t length) {
  // cppcheck-suppress constVariablePointer ; the string instruction writes through it
  void* destination = to;
  __asm__ volatile("rep movsb" : "+D"(destination), "+S"(from), "+c"(length) : : "memory");
  return to;
}

extern "C" void* memset(void* to, int byte, size_t length) {
  // cppcheck-suppress constVariablePointer ; the string instruction writes through it
  void* destination = to;
  __asm__ volatile("rep stosb" : "+D"(destination), "+c"(length) : "a"(byte) : "memory");
  return to;
}
// NOLINTEND(misc-include-cleaner)

// The process starts here, with argc, argv and the environment on the stack.
extern "C" [[noreturn, gnu::used]] void RunnerStart(uint32_t* stack) {
  const int argc = static_cast<int>(stack[0]);
  char** argv = reinterpret_cast<char**>(stack + 1);
  linux_i386::Exit(RunnerMain(argc, argv, argv + argc + 1));
}

__asm__(
    ".text\n"
    ".globl _start\n"
    ".type _start, @function\n"
    "_start:\n"
    "  xorl %ebp, %ebp\n"
    "  movl %esp, %eax\n"
    "  andl $-16, %esp\n"
    "  subl $12, %esp\n"
    "  pushl %eax\n"
    "  call RunnerStart\n"
    "  hlt\n");
