#include "app/faults.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "gtest/gtest.h"

namespace faults {
namespace {

TEST(FaultsTest, ReportTextFillsTheTemplate) {
  struct Case {
    Fault fault;
    const char* text;
  };
  const Case cases[] = {
      {{205, 0x0000A1B4}, "Runtime error 205 at 0000A1B4"},
      {{207, 0xDEADBEEF}, "Runtime error 207 at DEADBEEF"},
      {{7, 0x10}, "Runtime error   7 at 00000010"},
      {{42, 0}, "Runtime error  42 at 00000000"},
      // The number has three places: a longer one keeps its last three digits
      // and never writes over the words before it.
      {{65535, 1}, "Runtime error 535 at 00000001"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(ReportText(c.fault).text, c.text);
  }
}

TEST(FaultsTest, RoundsToInt64TiesToEvenAndRejectsWhatDoesNotFit) {
  struct Case {
    double value;
    bool fits;
    int64_t rounded;
  };
  const double kTwo63 = 9223372036854775808.0;
  const Case cases[] = {
      {0.5, true, 0},
      {1.5, true, 2},
      {2.5, true, 2},
      {-0.5, true, 0},
      {-1.5, true, -2},
      {-2.5, true, -2},
      {2.4999999999999996, true, 2},
      {87499999.5, true, 87500000},
      {108000000.5, true, 108000000},
      {4394967296.0, true, 4394967296},
      {-kTwo63, true, std::numeric_limits<int64_t>::min()},
      {std::nextafter(kTwo63, 0.0), true, 9223372036854774784},
      {kTwo63, false, 0},
      {1e19, false, 0},
      {-1e300, false, 0},
      {std::nextafter(-kTwo63, -1e300), false, 0},
      {INFINITY, false, 0},
      {-INFINITY, false, 0},
      {NAN, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    int64_t out = -1;
    const Fault fault = RoundToInt64(c.value, out);
    if (c.fits) {
      EXPECT_FALSE(fault);
      EXPECT_EQ(out, c.rounded);
    } else {
      EXPECT_EQ(fault.code, InvalidOperationError);
      EXPECT_EQ(out, -1);
    }
  }
}

TEST(FaultsTest, StoringToDoubleOverflowsOnlyPastTheDoubleRange) {
  struct Case {
    long double value;
    bool overflows;
  };
  const long double kMax = DBL_MAX;
  // Half an ulp above DBL_MAX is the rounding boundary: ties go to even,
  // which is the infinite side.
  const long double kHalfUlp = std::ldexp(1.0L, 1023 - 53);
  const Case cases[] = {
      {kMax, false},
      {kMax + kHalfUlp / 2, false},
      {kMax + kHalfUlp, true},
      {-(kMax + kHalfUlp), true},
      {1e400L, true},
      {-1e303L * 1e6L, true},
      {1e-400L, false},
      {std::numeric_limits<long double>::infinity(), false},
      {-std::numeric_limits<long double>::infinity(), false},
  };
  for (const Case& c : cases) {
    double out = 0.0;
    EXPECT_EQ(StoreDouble(c.value, out).code, c.overflows ? OverflowError : 0)
        << static_cast<double>(c.value);
  }
}

}  // namespace
}  // namespace faults
