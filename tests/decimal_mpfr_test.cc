// An independent check of the number reader: the same reading rules carried
// out in GNU MPFR, set up as the x87 extended format (64-bit significand, its
// exponent range and subnormals, round to nearest-even after every
// operation), compared bit for bit over generated texts that crowd the
// boundaries; and the store to double, against MPFR set up as a double.
#include <mpfr.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "app/decimal.h"
#include "app/faults.h"
#include "gtest/gtest.h"

namespace {

// MPFR writes x = m * 2^e with 0.5 <= m < 1. The extended format's largest
// finite value lies just below 2^16384 and its smallest subnormal is
// 2^-16445; a double's are just below 2^1024 and 2^-1074.
constexpr mpfr_exp_t kExtendedEmin = -16444;
constexpr mpfr_exp_t kExtendedEmax = 16384;
constexpr mpfr_prec_t kExtendedPrecision = 64;
constexpr mpfr_exp_t kDoubleEmin = -1073;
constexpr mpfr_exp_t kDoubleEmax = 1024;
constexpr mpfr_prec_t kDoublePrecision = 53;

class Number {
 public:
  explicit Number(mpfr_prec_t precision) { mpfr_init2(value_, precision); }
  ~Number() { mpfr_clear(value_); }
  Number(const Number&) = delete;
  Number& operator=(const Number&) = delete;
  mpfr_ptr get() { return value_; }

 private:
  mpfr_t value_;
};

// Runs one MPFR operation as the x87 would: rounded to nearest-even within
// the current exponent range, subnormals included. True when it overflowed.
template <typename Operation>
bool Round(mpfr_ptr result, Operation operation) {
  mpfr_clear_flags();
  const int ternary = operation();
  mpfr_subnormalize(result, ternary, MPFR_RNDN);
  return mpfr_overflow_p() != 0;
}

struct Emulated {
  bool overflow = false;
  long double value = 0.0L;
  int32_t errorPos = 0;
};

// The reading rules, step by step, in MPFR.
Emulated EmulateReading(const std::string& text) {
  mpfr_set_emin(kExtendedEmin);
  mpfr_set_emax(kExtendedEmax);
  Number value(kExtendedPrecision);
  mpfr_set_zero(value.get(), 1);
  Emulated result;
  auto fail = [&](size_t index) {
    result.value = mpfr_get_ld(value.get(), MPFR_RNDN);
    result.errorPos = static_cast<int32_t>(index + 1);
    return result;
  };
  auto digit = [&](char c) {
    mpfr_ptr v = value.get();
    return Round(v, [&] { return mpfr_mul_ui(v, v, 10, MPFR_RNDN); }) ||
           Round(v, [&] { return mpfr_add_ui(v, v, static_cast<unsigned>(c - '0'), MPFR_RNDN); });
  };
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };

  const size_t n = text.size();
  size_t i = 0;
  if (n == 0) {
    return fail(0);
  }
  while (i < n && text[i] == ' ') {
    ++i;
  }
  const bool negative = i < n && text[i] == '-';
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    ++i;
  }
  if (i == n) {
    return fail(n);
  }
  long long fraction = 0;
  bool inFraction = false;
  for (; i < n; ++i) {
    if (isDigit(text[i])) {
      if (digit(text[i])) {
        result.overflow = true;
        return result;
      }
      fraction += inFraction ? 1 : 0;
    } else if (text[i] == '.' && !inFraction) {
      inFraction = true;
    } else {
      break;
    }
  }
  long long exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    const bool exponentNegative = i < n && text[i] == '-';
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      ++i;
    }
    if (i == n || !isDigit(text[i])) {
      return fail(i);
    }
    for (; i < n && isDigit(text[i]); ++i) {
      exponent = std::min(exponent * 10 + (text[i] - '0'), 10000000000LL);
    }
    exponent = exponentNegative ? -exponent : exponent;
  }
  if (i < n) {
    return fail(i);
  }

  const long long scale = exponent - fraction;
  mpfr_ptr v = value.get();
  if (scale >= 5120) {
    mpfr_set_inf(v, 1);
  } else if (scale <= -5120) {
    mpfr_set_zero(v, 1);
  } else {
    const unsigned long size = static_cast<unsigned long>(scale < 0 ? -scale : scale);
    // The three factors, each the nearest 64-bit value to its power of ten;
    // a 10^0 from the second or third table is skipped.
    const unsigned long powers[3] = {size % 32, 32 * ((size / 32) % 16), 512 * (size / 512)};
    for (int step = 0; step < 3; ++step) {
      if (step > 0 && powers[step] == 0) {
        continue;
      }
      Number power(kExtendedPrecision);
      mpfr_ui_pow_ui(power.get(), 10, powers[step], MPFR_RNDN);
      const bool overflow = scale > 0
                                ? Round(v, [&] { return mpfr_mul(v, v, power.get(), MPFR_RNDN); })
                                : Round(v, [&] { return mpfr_div(v, v, power.get(), MPFR_RNDN); });
      if (overflow) {
        result.overflow = true;
        return result;
      }
    }
  }
  if (negative) {
    mpfr_neg(v, v, MPFR_RNDN);
  }
  result.value = mpfr_get_ld(v, MPFR_RNDN);
  return result;
}

// The store to double: true when it overflows; `out` gets the double. The
// value is rounded to 53 bits first, then held to the double's exponent range
// (MPFR re-rounds subnormals from the first rounding's direction).
bool EmulateStore(long double value, double& out) {
  mpfr_set_emin(kExtendedEmin);
  mpfr_set_emax(kExtendedEmax);
  Number source(kExtendedPrecision);
  mpfr_set_ld(source.get(), value, MPFR_RNDN);
  Number stored(kDoublePrecision);
  mpfr_clear_flags();
  int ternary = mpfr_set(stored.get(), source.get(), MPFR_RNDN);
  mpfr_set_emin(kDoubleEmin);
  mpfr_set_emax(kDoubleEmax);
  ternary = mpfr_check_range(stored.get(), ternary, MPFR_RNDN);
  mpfr_subnormalize(stored.get(), ternary, MPFR_RNDN);
  out = mpfr_get_d(stored.get(), MPFR_RNDN);
  return mpfr_overflow_p() != 0 && mpfr_inf_p(source.get()) == 0;
}

// Generated texts, biased to where the arithmetic turns.
class TextMaker {
 public:
  std::string Make() {
    switch (Pick(10)) {
      case 0:
        return Sign() + Digits(1 + Pick(25)) + Fraction(Pick(25)) + Exponent(-400, 400);
      case 1:  // long digit strings
        return Digits(1 + Pick(4096));
      case 2: {  // long fractions with exponents
        const int digits = 1 + Pick(4000);
        return Sign() + "0." + Digits(digits) + "e" + std::to_string(digits - 40 + Pick(80));
      }
      case 3: {  // the power tables' boundaries
        const int bases[] = {32, 64, 480, 512, 544, 1024, 4608, 5088, 5119, 5120};
        const int scale = bases[Pick(10)] * (Pick(2) == 0 ? 1 : (1 + Pick(9))) + Pick(5) - 2;
        return Sign() + Digits(1 + Pick(20)) + "e" + (Pick(2) == 0 ? "-" : "") +
               std::to_string(std::min(scale, 5121));
      }
      case 4:  // the extended overflow threshold, about 1.18973149535723176502e4932
        return Sign() + "1.18973149535723176" + Digits(Pick(8)) + "e4932";
      case 5:  // the double overflow threshold, about 1.7976931348623157e308
        return Sign() + "1.797693134862315" + Digits(Pick(12)) + "e308";
      case 6:  // failing after many digits
        return Digits(1 + Pick(4000)) + std::string(1, "x.,e+ -"[Pick(7)]) + Digits(Pick(3));
      case 7:  // subnormals, of both formats
        return Digits(1 + Pick(20)) + "e-" +
               std::to_string(Pick(2) == 0 ? 4925 + Pick(40) : 300 + Pick(30));
      case 8:  // the Hz range and its MHz form
        return Digits(1 + Pick(12)) + "." + Digits(Pick(20));
      default:  // long integers and fractions that scale to everyday values
        return Digits(300 + Pick(60)) + "e-" + std::to_string(290 + Pick(30));
    }
  }

 private:
  int Pick(int n) { return static_cast<int>(random_() % static_cast<uint64_t>(n)); }
  std::string Sign() { return std::string(Pick(3) == 0 ? "-" : Pick(4) == 0 ? "+" : ""); }
  std::string Digits(int n) {
    std::string digits;
    for (int i = 0; i < n; ++i) {
      digits += static_cast<char>('0' + Pick(10));
    }
    return digits;
  }
  std::string Fraction(int n) { return n == 0 ? "" : "." + Digits(n); }
  std::string Exponent(int low, int high) {
    return Pick(2) == 0 ? "" : "e" + std::to_string(low + Pick(high - low + 1));
  }

  std::mt19937_64 random_{20261207};  // fixed: every run checks the same texts
};

bool SameBits(long double a, long double b) {
  return std::memcmp(&a, &b, 10) == 0;
}

TEST(DecimalMpfrTest, ReaderMatchesMpfrBitForBit) {
  const mpfr_exp_t savedEmin = mpfr_get_emin();
  const mpfr_exp_t savedEmax = mpfr_get_emax();
  TextMaker maker;
  constexpr int kTexts = 100000;
  int overflows = 0;
  int storeOverflows = 0;
  int failures = 0;
  for (int n = 0; n < kTexts; ++n) {
    const std::string text = maker.Make();
    const decimal::Reading reading = decimal::ParseDecimal(text);
    const Emulated expected = EmulateReading(text);
    ASSERT_EQ(static_cast<bool>(reading.fault), expected.overflow) << text;
    if (expected.overflow) {
      ++overflows;
      continue;
    }
    ASSERT_EQ(reading.errorPos, expected.errorPos) << text;
    ASSERT_TRUE(SameBits(reading.value, expected.value)) << text;
    failures += expected.errorPos != 0 ? 1 : 0;

    double stored = 0.0;
    double expectedStored = 0.0;
    const bool storeOverflow = EmulateStore(expected.value, expectedStored);
    ASSERT_EQ(static_cast<bool>(faults::StoreDouble(reading.value, stored)), storeOverflow) << text;
    if (!storeOverflow) {
      ASSERT_EQ(std::memcmp(&stored, &expectedStored, sizeof stored), 0) << text;
    }
    storeOverflows += storeOverflow ? 1 : 0;
  }
  mpfr_set_emin(savedEmin);
  mpfr_set_emax(savedEmax);
  // The generator must reach every outcome, or the check proves little.
  EXPECT_GT(overflows, 1000);
  EXPECT_GT(storeOverflows, 1000);
  EXPECT_GT(failures, 1000);
  std::printf("checked %d texts: %d overflowed while read, %d overflowed when stored, %d failed\n",
              kTexts, overflows, storeOverflows, failures);
}

}  // namespace
