#include "tools/exe_runner/windows_api.h"

#include <stddef.h>  // NOLINT(modernize-deprecated-headers): freestanding build
#include <stdint.h>  // NOLINT(modernize-deprecated-headers)

#include "simcard/card.h"
#include "simcard/text.h"
#include "tools/exe_runner/exit_codes.h"
#include "tools/exe_runner/linux_i386.h"
#include "tools/exe_runner/say.h"

// Windows calls its functions with __stdcall: arguments on the stack, removed
// by the callee.
#define WINAPI __attribute__((stdcall))

namespace windows_api {
namespace {

char* commandLine = nullptr;
bool cdeclCard = false;
char** environment = nullptr;
uint32_t clockMs = 0;  // the virtual clock: only Sleep moves it
int traceFd = -1;
uintptr_t imageBase = 0;
uint32_t imageSize = 0;

// `text` in double quotes: a quote or backslash escaped with a backslash,
// any byte outside printable ASCII as \xHH, so that the line says exactly
// which bytes the program passed.
void AddQuoted(say::Line& line, const char* text) {
  simcard::AddChar(line, '"');
  for (const char* at = text; *at != '\0'; ++at) {
    const auto byte = static_cast<unsigned char>(*at);
    if (byte == '"' || byte == '\\') {
      simcard::AddChar(line, '\\');
      simcard::AddChar(line, *at);
    } else if (byte < 0x20 || byte >= 0x7F) {
      simcard::Add(line, "\\x");
      simcard::AddHex(line, byte, 2);
    } else {
      simcard::AddChar(line, *at);
    }
  }
  simcard::AddChar(line, '"');
}

// "runner: NAME(N)": a call with one number, in decimal.
void RecordCall(const char* name, uint32_t value) {
  say::Line line = say::Start();
  simcard::Add(line, name);
  simcard::AddChar(line, '(');
  simcard::AddUnsigned(line, value);
  simcard::AddChar(line, ')');
  say::Emit(line);
}

// KERNEL32 and USER32, as far as the program may use them.

char* WINAPI GetCommandLineA() {
  return commandLine;
}

void WINAPI Sleep(uint32_t ms) {
  RecordCall("Sleep", ms);
  clockMs += ms;
}

int32_t WINAPI MessageBoxA(const void* owner, const char* text, const char* caption,
                           uint32_t style) {
  constexpr int32_t kPressedOk = 1;
  say::Line line = say::Start();
  simcard::Add(line, "MessageBoxA(");
  simcard::AddHex(line, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(owner)), 8);
  simcard::Add(line, ", ");
  AddQuoted(line, text);
  simcard::Add(line, ", ");
  AddQuoted(line, caption);
  simcard::Add(line, ", ");
  simcard::AddHex(line, style, 8);
  simcard::Add(line, ") = 1");
  say::Emit(line);
  return kPressedOk;
}

[[noreturn]] void WINAPI ExitProcess(uint32_t exitCode) {
  RecordCall("ExitProcess", exitCode);
  linux_i386::Exit(static_cast<int>(exitCode & 0xFF));
}

// BTVID_32.DLL: the simulated card, in both calling conventions a driver may
// have been built with: stdcall, which removes its arguments, and the C
// convention, which leaves that to the caller. A byte argument fills a whole
// stack slot; the simulated card reads what of it its driver reads.
// NOLINTBEGIN(bugprone-macro-parentheses): Result is a type name
#define BTVID_32_OPERATION(Result, Name, Parameters, Arguments) \
  Result WINAPI Name##Stdcall Parameters {                      \
    return simcard::Name Arguments;                             \
  }                                                             \
  Result __attribute__((cdecl)) Name##Cdecl Parameters {        \
    return simcard::Name Arguments;                             \
  }
// NOLINTEND(bugprone-macro-parentheses)
#include "cardbus/btvid_32_operations.h"

// DLL names are compared as Windows does, ignoring case.
bool SameDll(const char* a, const char* b) {
  auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch | 0x20) : ch; };
  while (*a != '\0' && lower(*a) == lower(*b)) {
    ++a;
    ++b;
  }
  return lower(*a) == lower(*b);
}

}  // namespace

void SetUp(char* line, char** env, bool cdeclDriver) {
  commandLine = line;
  environment = env;
  cdeclCard = cdeclDriver;
}

void* Resolve(const char* dll, const char* name) {
  struct Function {
    const char* dll;
    const char* name;
    void* address;
  };
  // Built at each call: the runner has no start-up code that could fill a
  // table of addresses before it is used.
  const Function functions[] = {
      {"KERNEL32.dll", "GetCommandLineA", reinterpret_cast<void*>(&GetCommandLineA)},
      {"KERNEL32.dll", "Sleep", reinterpret_cast<void*>(&Sleep)},
      {"KERNEL32.dll", "ExitProcess", reinterpret_cast<void*>(&ExitProcess)},
      {"USER32.dll", "MessageBoxA", reinterpret_cast<void*>(&MessageBoxA)},
#define BTVID_32_OPERATION(Result, Name, Parameters, Arguments) \
  {"BTVID_32.DLL", #Name,                                       \
   cdeclCard ? reinterpret_cast<void*>(&Name##Cdecl) : reinterpret_cast<void*>(&Name##Stdcall)},
#include "cardbus/btvid_32_operations.h"
  };
  // The runner has no C++ library to search with.
  for (const Function& function : functions) {
    // cppcheck-suppress useStlAlgorithm
    if (SameDll(dll, function.dll) && simcard::Equals(name, function.name)) {
      return function.address;
    }
  }
  return nullptr;
}

void SetImage(uintptr_t base, uint32_t size) {
  imageBase = base;
  imageSize = size;
}

void ReportFault(int signal, uint32_t instruction) {
  say::Line line = say::Start();
  simcard::Add(line, signal == linux_i386::SignalIllegalInstruction ? "illegal instruction"
                     : signal == linux_i386::SignalArithmetic       ? "arithmetic fault"
                                                                    : "memory access fault");
  simcard::Add(line, " at ");
  simcard::AddHex(line, instruction, 8);
  const uint32_t offset = instruction - static_cast<uint32_t>(imageBase);
  if (offset < imageSize) {
    simcard::Add(line, ", offset ");
    simcard::AddHex(line, offset, 8);
    simcard::Add(line, " in the program's image");
  } else {
    simcard::Add(line, ", outside the program's image");
  }
  say::Emit(line);
  linux_i386::Exit(exe_runner::ProcessorFault);
}

}  // namespace windows_api

namespace simcard::host {

const char* Env(const char* name) {
  for (char** entry = windows_api::environment; entry != nullptr && *entry != nullptr; ++entry) {
    const char* at = *entry;
    const char* wanted = name;
    while (*wanted != '\0' && *at == *wanted) {
      ++at;
      ++wanted;
    }
    if (*wanted == '\0' && *at == '=') {
      return at + 1;
    }
  }
  return nullptr;
}

uint32_t NowMs() {
  return windows_api::clockMs;
}

void TraceToStandardError() {
  windows_api::traceFd = linux_i386::StandardError;
}

bool TraceToFile(const char* path) {
  windows_api::traceFd = linux_i386::Open(path, linux_i386::OpenWriteNew, 0644);
  return !linux_i386::Failed(windows_api::traceFd);
}

void WriteTrace(const char* text, size_t length) {
  linux_i386::WriteAll(windows_api::traceFd, text, length);
}

void WriteError(const char* text, size_t length) {
  linux_i386::WriteAll(linux_i386::StandardError, text, length);
}

}  // namespace simcard::host
