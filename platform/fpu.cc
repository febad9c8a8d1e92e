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

void ResetFpu() {
  // FNINIT empties and untags every register and clears the status word; the
  // clobbers tell the compiler that nothing it kept there survives.
  __asm__ volatile("fninit"
                   :
                   :
                   : "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)");
  SetFpuControlWord();
}

}  // namespace platform
