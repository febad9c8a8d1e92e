#include <windows.h>

#include <string>

#include "platform/platform.h"

// The first byte of the program's image, placed by the linker.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace platform {

void ShowMessageBox(std::string_view caption, std::string_view text, uint32_t style) {
  // MessageBoxA wants NUL-terminated strings.
  const std::string captionZ(caption);
  const std::string textZ(text);
  MessageBoxA(nullptr, textZ.c_str(), captionZ.c_str(), style);
}

void SleepMilliseconds(uint32_t ms) {
  Sleep(ms);
}

uint32_t ImageOffset(const void* code) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(code) -
                               reinterpret_cast<uintptr_t>(&__ImageBase));
}

}  // namespace platform
