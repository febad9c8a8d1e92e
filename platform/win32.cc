// Windows as the program meets it: four functions of KERNEL32 and USER32,
// every one of them there since Windows 95 and NT 4.0.
#include <windows.h>

#include "platform/platform.h"

// The first byte of the program's image, placed by the linker.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace platform {

void ShowMessageBox(const char* caption, const char* text, uint32_t style) {
  MessageBoxA(nullptr, text, caption, style);
}

void SleepMilliseconds(uint32_t ms) {
  Sleep(ms);
}

uint32_t ImageOffset(const void* code) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(code) -
                               reinterpret_cast<uintptr_t>(&__ImageBase));
}

std::string_view CommandLine() {
  const char* const line = GetCommandLineA();
  size_t length = 0;
  while (line[length] != '\0') {
    ++length;
  }
  return {line, length};
}

void ExitProcessWith(uint32_t exitCode) {
  ExitProcess(exitCode);
}

}  // namespace platform
