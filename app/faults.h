// Arithmetic faults and the fatal-error report.
//
// The program runs its floating-point arithmetic as if the x87's overflow and
// invalid-operation exceptions were unmasked: the first operation that
// overflows, and the first integer rounding that cannot fit, end the run with
// a fatal-error report. Instead of trapping, each such operation is checked
// right where it happens, except the number reader's runs of digits: each run
// is checked once, at its end (CheckOverflow). No run within an argument's
// 4096 characters can overflow; that check keeps the reader's promise for the
// longer texts it also takes. The check's own position in the program image is
// the location the report gives.
#ifndef WAVRIX_APP_FAULTS_H_
#define WAVRIX_APP_FAULTS_H_

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "app/messages.h"
#include "platform/fpu.h"

namespace faults {

/// Error numbers of the report.
inline constexpr uint16_t OverflowError = 205;
inline constexpr uint16_t InvalidOperationError = 207;

/// A detected fault: its error number (0: none) and where it was detected, as
/// an offset into the program image.
struct Fault {
  uint16_t code = 0;
  uint32_t location = 0;
  explicit operator bool() const { return code != 0; }
};

/// Makes a fault of `code` located at the code that called this. Kept out of
/// line so that the caller's return address is that place.
[[gnu::noinline]] Fault Detect(uint16_t code);

/// `value = value * factor`, extended; an overflow is a fault.
[[gnu::always_inline]] inline Fault Multiply(long double& value, long double factor) {
  value *= factor;
  // The operands are finite, so under round-to-nearest an infinite result is
  // exactly an overflow.
  return std::isinf(value) ? Detect(OverflowError) : Fault{};
}

/// Whether `value`, grown from 0 by finite steps, has overflowed: once
/// infinite it stays infinite, so a run of steps needs only one check.
[[gnu::always_inline]] inline Fault CheckOverflow(long double value) {
  return std::isinf(value) ? Detect(OverflowError) : Fault{};
}

/// Stores `value` into the double `out`; a finite value beyond the double
/// range is an overflow fault. Infinities and underflows store as they are.
[[gnu::always_inline]] inline Fault StoreDouble(long double value, double& out) {
  out = platform::RoundToDouble(value);
  return (std::isinf(out) && !std::isinf(value)) ? Detect(OverflowError) : Fault{};
}

/// Rounds `value` to a signed 64-bit integer, ties to even; a value that does
/// not fit (infinities included) is an invalid-operation fault.
[[gnu::always_inline]] inline Fault RoundToInt64(double value, int64_t& out) {
  return platform::RoundHalfEvenToInt64(value, out) ? Fault{} : Detect(InvalidOperationError);
}

/// The report's text, zero-terminated, in a buffer of its own.
struct ReportLine {
  char text[sizeof messages::FatalTemplate];
};

/// messages::FatalTemplate filled in: the error number right-aligned in its
/// places (a longer one keeps its last digits), the location in upper-case
/// hex over the zeros.
constexpr ReportLine ReportText(const Fault& fault) {
  ReportLine line{};
  for (size_t i = 0; i < sizeof line.text; ++i) {
    line.text[i] = messages::FatalTemplate[i];
  }
  unsigned code = fault.code;
  for (size_t at = messages::FatalCodeEnd;
       at-- > messages::FatalCodeEnd - messages::FatalCodeDigits;) {
    line.text[at] = static_cast<char>('0' + code % 10);
    code /= 10;
    if (code == 0) {
      break;
    }
  }
  for (size_t i = 0; i < messages::FatalLocationDigits; ++i) {
    const unsigned shift = 4 * (messages::FatalLocationDigits - 1 - i);
    line.text[messages::FatalLocationAt + i] = "0123456789ABCDEF"[(fault.location >> shift) & 0xF];
  }
  return line;
}

/// Shows the fatal-error report (caption "Error", OK button) and returns the
/// exit code the process must end with: the error number.
int Report(const Fault& fault);

}  // namespace faults

#endif  // WAVRIX_APP_FAULTS_H_
