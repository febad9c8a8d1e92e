#include "app/decimal.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace decimal {
namespace {

constexpr long double kInf = std::numeric_limits<long double>::infinity();

// Same value, same sign, bit for bit (the 10 value bytes of the format).
bool SameBits(long double a, long double b) {
  return std::memcmp(&a, &b, 10) == 0;
}

struct ReadCase {
  const char* text;
  long double value;
  int32_t errorPos;
};

TEST(ParseDecimalTest, ReadsValuesAndFailurePositions) {
  const std::string longFraction = "1." + std::string(200, '0') + "e2";
  const ReadCase cases[] = {
      {"98.5", 98.5L, 0},
      {"+98.5", 98.5L, 0},
      {"-98.5", -98.5L, 0},
      {"98500000", 98500000.0L, 0},
      {".5", 0.5L, 0},
      {"5.", 5.0L, 0},
      {".", 0.0L, 0},
      {"e5", 0.0L, 0},
      {"5.e3", 5000.0L, 0},
      {"9.85e1", 98.5L, 0},
      {"1E-3", 1e-3L, 0},
      {"  7", 7.0L, 0},
      {"-0", -0.0L, 0},
      {"1e+2", 100.0L, 0},
      // Scales at and past the limit, and exponents past 32 bits saturate.
      {"1e5120", kInf, 0},
      {"0e5120", kInf, 0},
      {"-1e5120", -kInf, 0},
      {"1e-5120", 0.0L, 0},
      {"1e4294967298", kInf, 0},
      {"1e-4294967298", 0.0L, 0},
      {"-5e-99999999999999999999", -0.0L, 0},
      // A fraction's digits take the scale below a saturated exponent: it
      // saturates again rather than wrap round to a huge positive scale.
      {"1.25e-4294967298", 0.0L, 0},
      // On failure: the digits so far as one whole number, unsigned, unscaled.
      {"", 0.0L, 1},
      {"+", 0.0L, 2},
      {"-", 0.0L, 2},
      {" ", 0.0L, 2},
      {"98,5", 98.0L, 3},
      {"98.5MHz", 985.0L, 5},
      {"5e", 5.0L, 3},
      {"5e+", 5.0L, 4},
      {"5e+x", 5.0L, 4},
      {"1.2.3", 12.0L, 4},
      {"1e5.5", 1.0L, 4},
      {"5 ", 5.0L, 2},
      {"-12.5x", 125.0L, 6},
      {"\t98.5", 0.0L, 1},
      {"abc", 0.0L, 1},
      {"1e5x", 1.0L, 4},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.text);
    const Reading reading = ParseDecimal(c.text);
    EXPECT_FALSE(reading.fault);
    EXPECT_EQ(reading.errorPos, c.errorPos);
    EXPECT_TRUE(SameBits(reading.value, c.value)) << static_cast<double>(reading.value);
  }
  // Every fraction digit counts in the scale.
  EXPECT_EQ(ParseDecimal(longFraction).errorPos, 0);
  EXPECT_NEAR(static_cast<double>(ParseDecimal(longFraction).value), 100.0, 1e-12);
}

TEST(ParseDecimalTest, AccumulatesDigitByDigitNotCorrectlyRounded) {
  // Past 2^64 each step of value x 10 + digit rounds on its own, and two
  // roundings can miss the nearest value. 12345678901234567890 x 10 lies
  // midway between two neighbours 8 apart, ...896 and ...904, and goes to the
  // even ...896; + 1 rounds back to ...896, while ...901 itself is nearest
  // ...904. A point changes nothing (the fraction's digits go on in the same
  // way), and the division by the exact 10^11 keeps the unit lost.
  struct Case {
    const char* text;
    long double digitByDigit;      // the reader's value, worked out apart from it
    long double correctlyRounded;  // the extended value nearest the text
  };
  const Case cases[] = {
      {"123456789012345678901", 0x1.ac53a7e04bcd9b0cp+66L, 0x1.ac53a7e04bcd9b0ep+66L},
      {"1234567890.12345678901", 0x1.26580b487e6b74dcp+30L, 0x1.26580b487e6b74dep+30L},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_FALSE(SameBits(c.digitByDigit, c.correctlyRounded)) << "the row tells nothing apart";
    EXPECT_TRUE(SameBits(ParseDecimal(c.text).value, c.digitByDigit));
  }
}

TEST(ParseDecimalTest, ScalesThroughTheThreeTables) {
  // 10^(s mod 32), then 10^(32 k), then 10^(512 m), each step rounded to
  // extended: the order of the roundings is part of the result. Each row's
  // values were worked out apart from the reader, in exact rational
  // arithmetic rounded to the nearest extended value after every step: in
  // this order, and in the reverse order (the 512s first), which gives other
  // bits.
  struct Case {
    const char* text;
    long double inOrder;
    long double reversed;
  };
  const Case cases[] = {
      {"5e555", 0x1.fd2d11c34a99fccep+1845L, 0x1.fd2d11c34a99fcccp+1845L},
      {"3e-555", 0x1.e2a9819dcda5a0c0p-1843L, 0x1.e2a9819dcda5a0bep-1843L},
      {"1e3000", 0x1.b8e499a888235ea4p+9965L, 0x1.b8e499a888235ea6p+9965L},
      {"5e-4700", 0x1.32878d7670b51932p-15611L, 0x1.32878d7670b51930p-15611L},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_FALSE(SameBits(c.inOrder, c.reversed)) << "the row tells nothing apart";
    const Reading reading = ParseDecimal(c.text);
    EXPECT_FALSE(reading.fault);
    EXPECT_TRUE(SameBits(reading.value, c.inOrder));
  }
  // 3 x 10^5119 fits after the ones and the 32s; the 512s overflow it.
  EXPECT_TRUE(ParseDecimal("3e5119").fault);
}

TEST(ParseDecimalTest, OverflowWhileReadingIsAFault) {
  const char* overflowing[] = {"1e4933", "2e4932", "1e5119", "-9e5000", "12e4931"};
  for (const char* text : overflowing) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseDecimal(text).fault.code, faults::OverflowError);
  }
  // Longer than any argument, but the reader takes any text: every step that
  // multiplies can overflow.
  const std::string nines(4933, '9');
  const std::string longTexts[] = {
      nines,                                   // accumulating the integer part
      "." + nines,                             // accumulating the fraction
      std::string(4910, '9') + "e31",          // the first power
      std::string(4500, '9') + "e480",         // the second power
      "1" + std::string(4400, '0') + "e1024",  // the third power
  };
  for (const std::string& text : longTexts) {
    SCOPED_TRACE(text.size());
    EXPECT_EQ(ParseDecimal(text).fault.code, faults::OverflowError);
  }
  const char* fine[] = {"1e4932", "1.18e4932", "1e-4950", "0e5119"};
  for (const char* text : fine) {
    SCOPED_TRACE(text);
    const Reading reading = ParseDecimal(text);
    EXPECT_FALSE(reading.fault);
    EXPECT_FALSE(std::isinf(reading.value));
  }
}

// --- The power tables hold the nearest extended value to each power. ---

// An exact non-negative integer, 32 bits a limb, least significant first.
using BigInt = std::vector<uint32_t>;

void MultiplyBy10(BigInt& n) {
  uint64_t carry = 0;
  for (uint32_t& limb : n) {
    const uint64_t product = uint64_t{limb} * 10 + carry;
    limb = static_cast<uint32_t>(product);
    carry = product >> 32;
  }
  if (carry != 0) {
    n.push_back(static_cast<uint32_t>(carry));
  }
}

bool Bit(const BigInt& n, size_t i) {
  return (n[i / 32] >> (i % 32) & 1) != 0;
}

// `n` rounded to a 64-bit mantissa, ties to even, from its exact bits.
long double NearestExtended(const BigInt& n) {
  size_t bits = n.size() * 32;
  while (!Bit(n, bits - 1)) {
    --bits;
  }
  if (bits <= 64) {
    uint64_t value = 0;
    for (size_t i = bits; i-- > 0;) {
      value = value << 1 | (Bit(n, i) ? 1 : 0);
    }
    return static_cast<long double>(value);
  }
  uint64_t top = 0;
  for (size_t i = bits; i-- > bits - 64;) {
    top = top << 1 | (Bit(n, i) ? 1 : 0);
  }
  const bool half = Bit(n, bits - 65);
  bool sticky = false;
  for (size_t i = 0; i + 65 < bits && !sticky; ++i) {
    sticky = Bit(n, i);
  }
  int exponent = static_cast<int>(bits - 64);
  if (half && (sticky || (top & 1) != 0)) {
    if (++top == 0) {
      top = uint64_t{1} << 63;
      ++exponent;
    }
  }
  return std::ldexp(static_cast<long double>(top), exponent);
}

TEST(PowersOfTenTest, EachEntryIsTheNearestExtendedValue) {
  // Between them the three tables reach every scale below ScaleLimit: the
  // ones below 32, the 32s below 512, the 512s below the limit.
  EXPECT_EQ(PowersOfTenOnes.size(), 32u);
  EXPECT_EQ((PowersOfTenThirtyTwos.size() + 1) * 32, 512u);
  EXPECT_EQ((PowersOfTenFiveTwelves.size() + 1) * 512, static_cast<size_t>(ScaleLimit));
  BigInt power{1};
  size_t checked = 0;
  for (int exponent = 0; exponent <= 4608; ++exponent) {
    const long double* entry = nullptr;
    if (exponent < 32) {
      entry = &PowersOfTenOnes[exponent];
    } else if (exponent % 32 == 0 && exponent <= 480) {
      entry = &PowersOfTenThirtyTwos[exponent / 32 - 1];
    } else if (exponent % 512 == 0) {
      entry = &PowersOfTenFiveTwelves[exponent / 512 - 1];
    }
    if (entry != nullptr) {
      EXPECT_TRUE(SameBits(*entry, NearestExtended(power))) << "10^" << exponent;
      ++checked;
    }
    MultiplyBy10(power);
  }
  // Every entry of the tables, as long as they are, was compared.
  EXPECT_EQ(checked,
            PowersOfTenOnes.size() + PowersOfTenThirtyTwos.size() + PowersOfTenFiveTwelves.size());
}

}  // namespace
}  // namespace decimal
