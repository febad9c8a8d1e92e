// The number reader on arbitrary text: the error position lies in
// 0..length+1 and is the one the number syntax names, the value is never NaN,
// and a failed reading gives the digits read so far as one whole number.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "app/decimal.h"
#include "fuzz/fuzz_check.h"

namespace {

// The number syntax as a state machine, written apart from the reader: the
// 1-based position of the first character no number can continue with,
// length + 1 when the text ends too early, 0 for a number.
int32_t ExpectedErrorPos(std::string_view text) {
  enum State { kSpaces, kSign, kInteger, kFraction, kExponentMark, kExponentSign, kExponent };
  State state = kSpaces;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool digit = c >= '0' && c <= '9';
    const bool sign = c == '+' || c == '-';
    const bool exponent = c == 'e' || c == 'E';
    State next = state;
    bool ok = true;
    switch (state) {
      case kSpaces:
      case kSign:
      case kInteger:
        if (c == ' ' && state == kSpaces) {
          next = kSpaces;
        } else if (sign && state == kSpaces) {
          next = kSign;
        } else if (digit) {
          next = kInteger;
        } else if (c == '.') {
          next = kFraction;
        } else if (exponent) {
          next = kExponentMark;
        } else {
          ok = false;
        }
        break;
      case kFraction:
        next = digit ? kFraction : kExponentMark;
        ok = digit || exponent;
        break;
      case kExponentMark:
        next = digit ? kExponent : kExponentSign;
        ok = digit || sign;
        break;
      case kExponentSign:
      case kExponent:
        next = kExponent;
        ok = digit;
        break;
    }
    if (!ok) {
      return static_cast<int32_t>(i + 1);
    }
    state = next;
  }
  const bool complete = state == kInteger || state == kFraction || state == kExponent;
  return complete ? 0 : static_cast<int32_t>(text.size() + 1);
}

// The mantissa digits before `end` (exponent digits excluded), accumulated
// as the reader does.
long double DigitsBefore(std::string_view text, size_t end) {
  long double value = 0.0L;
  for (size_t i = 0; i < end && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      value = value * 10.0L;
      value = value + static_cast<long double>(text[i] - '0');
    }
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const decimal::Reading reading = decimal::ParseDecimal(text);
  FUZZ_CHECK(!std::isnan(reading.value));
  FUZZ_CHECK(reading.errorPos >= 0 && static_cast<size_t>(reading.errorPos) <= size + 1);
  if (reading.fault) {
    FUZZ_CHECK(reading.fault.code == faults::OverflowError);
    return 0;
  }
  const int32_t expected = ExpectedErrorPos(text);
  FUZZ_CHECK(reading.errorPos == expected);
  if (reading.errorPos != 0) {
    const long double digits = DigitsBefore(text, static_cast<size_t>(reading.errorPos) - 1);
    FUZZ_CHECK(std::memcmp(&digits, &reading.value, 10) == 0);
  }
  return 0;
}
