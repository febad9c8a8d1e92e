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
static_assert(std::numeric_limits<long double>::digits == 64 &&
                  std::numeric_limits<long double>::max_exponent == 16384 &&
                  std::numeric_limits<long double>::min_exponent == -16381,
              "Wavrix needs long double to be the x87 80-bit extended format (64-bit mantissa)");

namespace platform {

/// The control word the program runs with: 64-bit mantissa, round to nearest.
/// All exceptions stay masked; the program makes the overflow and invalid
/// checks itself, at the points where the hardware would trap.
inline constexpr uint16_t FpuControlWord = 0x133F;

/// Loads FpuControlWord into the x87. A Windows process may start with 53-bit
/// precision, which would change every extended result.
void SetFpuControlWord();

/// Puts the x87 into the state the program's arithmetic starts from: all
/// eight registers empty, no exception flags, then FpuControlWord loaded. A
/// driver may return with registers still in use (MMX code that never ran
/// EMMS, or loads never popped), and the first load would then overflow the
/// register stack and give a NaN.
void ResetFpu();

/// Rounds `x` to double by a real store to memory, so that no excess
/// precision of an x87 register survives, whatever the compiler keeps where.
inline double RoundToDouble(long double x) {
  volatile double stored = static_cast<double>(x);
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
