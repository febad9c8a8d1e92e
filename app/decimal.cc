#include "app/decimal.h"

#include <limits>

namespace decimal {

// The compiler converts these literals with correct rounding to the nearest
// extended value; up to 10^27 they are exact.
const std::array<long double, 32> PowersOfTenOnes = {
    1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,  1e10L,
    1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L, 1e21L,
    1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L, 1e28L, 1e29L, 1e30L, 1e31L,
};
const std::array<long double, 15> PowersOfTenThirtyTwos = {
    1e32L,  1e64L,  1e96L,  1e128L, 1e160L, 1e192L, 1e224L, 1e256L,
    1e288L, 1e320L, 1e352L, 1e384L, 1e416L, 1e448L, 1e480L,
};
const std::array<long double, 9> PowersOfTenFiveTwelves = {
    1e512L, 1e1024L, 1e1536L, 1e2048L, 1e2560L, 1e3072L, 1e3584L, 1e4096L, 1e4608L,
};

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
  if (faults::Fault fault = ApplyPower(value, PowersOfTenOnes[size % 32], up)) {
    return fault;
  }
  if ((size / 32) % 16 != 0) {
    if (faults::Fault fault = ApplyPower(value, PowersOfTenThirtyTwos[(size / 32) % 16 - 1], up)) {
      return fault;
    }
  }
  if (size / 512 != 0) {
    return ApplyPower(value, PowersOfTenFiveTwelves[size / 512 - 1], up);
  }
  return {};
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
  int64_t fractionDigits = 0;
  while (i < n && IsDigit(text[i])) {
    if ((reading.fault = faults::AppendDigit(reading.value, text[i++] - '0'))) {
      return reading;
    }
  }
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && IsDigit(text[i])) {
      if ((reading.fault = faults::AppendDigit(reading.value, text[i++] - '0'))) {
        return reading;
      }
      ++fractionDigits;
    }
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
    if ((reading.fault = Scale(reading.value, size, scale > 0))) {
      return reading;
    }
  }
  if (negative) {
    reading.value = -reading.value;
  }
  return reading;
}

}  // namespace decimal
