// The processor's floating-point unit as Wavrix uses it: x87 extended
// arithmetic, rounding to nearest, and the two conversions whose exact
// rounding the program depends on.
#ifndef WAVRIX_PLATFORM_FPU_H_
#define WAVRIX_PLATFORM_FPU_H_

#include <cstdint>
#include <limits>

// Number reading and the Hz conversion are defined in the x87 extended
// format; a compiler with another long double would silently read numbers
// differently.
#if !defined(__i386__) && !defined(__x86_64__)
#error "Wavrix reads numbers with the x87 unit; build it for x86."
#endif
static_assert(std::numeric_limits<long double>::digits == 64 &&
                  std::numeric_limits<long double>::max_exponent == 16384 &&
                  std::numeric_limits<long double>::min_exponent == -16381,
              "Wavrix needs long double to be the x87 80-bit extended format (64-bit mantissa)");

namespace platform {

// The x87 control word, field by field (bits 6, 7 and 13 to 15 are reserved
// and left 0).
/// Bits 0 to 5 mask the six exceptions: invalid operation, denormal operand,
/// division by zero, overflow, underflow, precision. All are masked: the
/// program checks for overflow and invalid operations itself, where the
/// hardware would trap, so that a fault inside the driver or the system
/// (which run in the program's process) can never end it.
inline constexpr uint16_t FpuMaskAllExceptions = 0x003F;
/// Bits 8 and 9, precision control: 11 is the 64-bit mantissa that number
/// reading and the Hz conversion are defined in (10 would be 53 bits, 00 24).
inline constexpr uint16_t FpuPrecision64Bits = 0x0300;
/// Bits 10 and 11, rounding control: 00 rounds to nearest, ties to even (01
/// would round down, 10 up, 11 toward zero).
inline constexpr uint16_t FpuRoundingField = 0x0C00;
/// Bit 12, infinity control: set, as the start-up word this program's
/// arithmetic has always had. Only the 8087 and 80287 heeded it (affine
/// infinity, + and - kept apart); every later unit keeps the bit and ignores
/// it.
inline constexpr uint16_t FpuAffineInfinity = 0x1000;

/// The control word the program runs with; its rounding field stays 00.
inline constexpr uint16_t FpuControlWord =
    FpuAffineInfinity | FpuPrecision64Bits | FpuMaskAllExceptions;
static_assert((FpuControlWord & FpuRoundingField) == 0, "rounding to nearest");
static_assert(FpuControlWord == 0x133F);

/// Loads FpuControlWord into the x87. A Windows process may start with 53-bit
/// precision, which would change every extended result.
inline void SetFpuControlWord() {
  // Loaded from a constant of the image, so that a reload is one instruction.
  static constexpr uint16_t kWord = FpuControlWord;
  __asm__ volatile("fldcw %0" : : "m"(kWord));
}

/// Puts the x87 into the state the program's arithmetic starts from: all
/// eight registers empty, no exception flags, FpuControlWord loaded. A driver
/// may return with registers still in use (MMX code that never ran EMMS, or
/// loads never popped), and the next load would then overflow the register
/// stack and give a NaN; or with a control word of its own.
inline void ResetFpu() {
  // FNINIT empties and untags every register and clears the status word; the
  // clobbers tell the compiler that nothing it kept there survives.
  __asm__ volatile("fninit"
                   :
                   :
                   : "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)");
  SetFpuControlWord();
}

/// Rounds `x` to double by a real store to memory, so that no excess
/// precision of an x87 register survives, whatever the compiler keeps where.
inline double RoundToDouble(long double x) {
  const volatile double stored = static_cast<double>(x);
  return stored;
}

/// Rounds `x` to the nearest integer, ties to the even neighbour, as the
/// x87's integer store does under round-to-nearest. False, with `out`
/// untouched, when the result does not fit a signed 64-bit integer (NaN and
/// infinities included).
inline bool RoundHalfEvenToInt64(double x, int64_t& out) {
  // -2^63 is exact in double and fits; no double lies between 2^63 - 1 and
  // 2^63, so these bounds are exact after rounding as well.
  constexpr double kLowest = -9223372036854775808.0;
  constexpr double kPastHighest = 9223372036854775808.0;
  // NOLINTNEXTLINE(readability-simplify-boolean-expr): so written, a NaN is refused too
  if (!(x >= kLowest && x < kPastHighest)) {
    return false;
  }
  int64_t whole = static_cast<int64_t>(x);             // truncates toward zero, in range
  const double rest = x - static_cast<double>(whole);  // exact in double
  if (rest > 0.5 || (rest == 0.5 && (whole & 1) != 0)) {
    ++whole;
  } else if (rest < -0.5 || (rest == -0.5 && (whole & 1) != 0)) {
    --whole;
  }
  out = whole;
  return true;
}

}  // namespace platform

#endif  // WAVRIX_PLATFORM_FPU_H_
