// Reading a decimal number in x87 extended precision.
//
// The digits are accumulated one at a time (value x 10 + digit, each step
// rounded to the 64-bit mantissa), then scaled by powers of ten taken from
// three tables. This is deliberately not a correctly rounded conversion: it is
// the reading users' frequencies have always had, down to the last bit.
#ifndef WAVRIX_APP_DECIMAL_H_
#define WAVRIX_APP_DECIMAL_H_

#include <array>
#include <cstdint>
#include <string_view>

#include "app/faults.h"

namespace decimal {

/// Scales at or beyond this size give infinity (positive) or 0 (negative).
inline constexpr int32_t ScaleLimit = 5120;

/// Powers of ten, each the nearest extended value: 10^0..10^31,
/// 10^32..10^480 in steps of 32, 10^512..10^4608 in steps of 512.
extern const std::array<long double, 32> PowersOfTenOnes;
extern const std::array<long double, 15> PowersOfTenThirtyTwos;
extern const std::array<long double, 9> PowersOfTenFiveTwelves;

struct Reading {
  /// The number; on failure the digits read so far as one whole number,
  /// without scale or sign.
  long double value = 0.0L;
  /// 0 when the whole text was read or a fault ended the reading, else the
  /// 1-based position of the character where reading stopped (length + 1 for
  /// a missing character).
  int32_t errorPos = 0;
  /// Set when the value overflowed the extended range while being read.
  faults::Fault fault;
};

/// Reads `text`: leading spaces, an optional sign, digits with an optional
/// point and fraction, an optional exponent (E or e, optional sign, digits).
/// Only the exponent needs digits ("." and "e5" read as 0), but the text may
/// not end after its spaces and sign. Exponents and scales beyond the signed
/// 32-bit range saturate.
Reading ParseDecimal(std::string_view text);

}  // namespace decimal

#endif  // WAVRIX_APP_DECIMAL_H_
