#include "app/decimal.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "app/faults.h"

namespace decimal {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Exponent digits and the scale saturate at the signed 32-bit limits: any
// scale that large is far past ScaleLimit, and wrapping would turn 1e4294967298
// into a plausible small number.
int32_t Saturate(int64_t x) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(x > kMax ? kMax : (x < kMin ? kMin : x));
}

Reading Failure(long double digits, size_t index) {
  return Reading{digits, static_cast<int32_t>(index + 1), {}};
}

// Appends the run of digits starting at `i` to `value`, each as value x 10
// + digit with both steps rounded to extended; returns where the run ends.
// An overflow leaves `value` infinite for the caller to find.
size_t AccumulateDigits(std::string_view text, size_t i, long double& value) {
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10.0L;
    value = value + static_cast<long double>(text[i] - '0');
  }
  return i;
}

// One scaling step: a multiplication may overflow; a division only
// underflows, quietly, toward 0.
faults::Fault ApplyPower(long double& value, long double power, bool up) {
  if (up) {
    return faults::Multiply(value, power);
  }
  value /= power;
  return {};
}

// Multiplies (up) or divides `value` by 10^size, size < ScaleLimit, in the
// order of the tables: the ones, then the 32s, then the 512s. A 10^0 from the
// second or third table is skipped rather than applied.
faults::Fault Scale(long double& value, uint32_t size, bool up) {
  faults::Fault fault = ApplyPower(value, PowersOfTenOnes[size % 32], up);
  if (!fault && (size / 32) % 16 != 0) {
    fault = ApplyPower(value, PowersOfTenThirtyTwos[(size / 32) % 16 - 1], up);
  }
  if (!fault && size / 512 != 0) {
    fault = ApplyPower(value, PowersOfTenFiveTwelves[size / 512 - 1], up);
  }
  return fault;
}

}  // namespace

Reading ParseDecimal(std::string_view text) {
  const size_t n = text.size();
  if (n == 0) {
    return Failure(0.0L, 0);
  }
  size_t i = 0;
  while (i < n && text[i] == ' ') {
    ++i;
  }
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == n) {
    return Failure(0.0L, n);
  }

  Reading reading;
  i = AccumulateDigits(text, i, reading.value);
  reading.fault = faults::CheckOverflow(reading.value);
  if (reading.fault) {
    return reading;
  }
  int64_t fractionDigits = 0;
  if (i < n && text[i] == '.') {
    const size_t fractionStart = ++i;
    i = AccumulateDigits(text, i, reading.value);
    reading.fault = faults::CheckOverflow(reading.value);
    if (reading.fault) {
      return reading;
    }
    fractionDigits = static_cast<int64_t>(i - fractionStart);
  }
  int32_t exponent = 0;
  if (i < n && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    bool exponentNegative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      exponentNegative = text[i] == '-';
      ++i;
    }
    if (i == n || !IsDigit(text[i])) {
      return Failure(reading.value, i);
    }
    int64_t magnitude = 0;
    while (i < n && IsDigit(text[i])) {
      magnitude = Saturate(magnitude * 10 + (text[i++] - '0'));
    }
    exponent = Saturate(exponentNegative ? -magnitude : magnitude);
  }
  if (i < n) {
    return Failure(reading.value, i);
  }

  const int32_t scale = Saturate(int64_t{exponent} - fractionDigits);
  if (scale >= ScaleLimit) {
    reading.value = std::numeric_limits<long double>::infinity();
  } else if (scale <= -ScaleLimit) {
    reading.value = 0.0L;
  } else if (scale != 0) {
    const uint32_t size = static_cast<uint32_t>(scale < 0 ? -scale : scale);
    reading.fault = Scale(reading.value, size, scale > 0);
    if (reading.fault) {
      return reading;
    }
  }
  if (negative) {
    reading.value = -reading.value;
  }
  return reading;
}

}  // namespace decimal
