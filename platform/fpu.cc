#include "platform/fpu.h"

namespace platform {

void SetFpuControlWord() {
#if defined(__i386__) || defined(__x86_64__)
  const uint16_t word = FpuControlWord;
  __asm__ volatile("fldcw %0" : : "m"(word));
#else
#error "Wavrix reads numbers with the x87 unit; build it for x86."
#endif
}

}  // namespace platform
