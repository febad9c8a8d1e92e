// Text built up in a fixed buffer, with the few number forms the simulated
// card and the exe runner write: decimal, hex and fixed-point. No C library:
// both are built where there is none.
#ifndef WAVRIX_SIMCARD_TEXT_H_
#define WAVRIX_SIMCARD_TEXT_H_

#include <stddef.h>  // NOLINT(modernize-deprecated-headers): freestanding builds
#include <stdint.h>  // NOLINT(modernize-deprecated-headers)

namespace simcard {

/// Up to `Capacity` characters, not zero-terminated; what does not fit is cut.
template <size_t Capacity>
struct Text {
  char text[Capacity];
  size_t length = 0;
};

/// The length of the zero-terminated `text`.
inline size_t Length(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') {
    ++length;
  }
  return length;
}

/// Whether the zero-terminated `a` and `b` are the same text.
inline bool Equals(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

template <size_t N>
void Add(Text<N>& out, const char* text, size_t length) {
  for (size_t i = 0; i < length && out.length < N; ++i) {
    out.text[out.length++] = text[i];
  }
}

template <size_t N>
void Add(Text<N>& out, const char* text) {
  Add(out, text, Length(text));
}

template <size_t N>
void AddChar(Text<N>& out, char ch) {
  Add(out, &ch, 1);
}

/// `value` in decimal, right-aligned in `width` characters, after `sign`
/// when there is one.
template <size_t N>
void AddUnsigned(Text<N>& out, uint32_t value, size_t width = 0, char sign = '\0') {
  char digits[12];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (sign != '\0') {
    digits[count++] = sign;
  }
  for (size_t pad = count; pad < width; ++pad) {
    AddChar(out, ' ');
  }
  while (count > 0) {
    AddChar(out, digits[--count]);
  }
}

/// `value` in decimal, right-aligned in `width` characters.
template <size_t N>
void AddDecimal(Text<N>& out, int32_t value, size_t width = 0) {
  // The magnitude in unsigned arithmetic, where the most negative value fits.
  const uint32_t magnitude =
      value < 0 ? 0U - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  AddUnsigned(out, magnitude, width, value < 0 ? '-' : '\0');
}

/// `value` as `digits` upper-case hex digits.
template <size_t N>
void AddHex(Text<N>& out, uint32_t value, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
    AddChar(out, "0123456789ABCDEF"[(value >> shift) & 0xF]);
  }
}

/// `units` of 10^-decimals as a decimal fraction with `decimals` places.
template <size_t N>
void AddFixed(Text<N>& out, int32_t units, int decimals) {
  uint32_t scale = 1;
  for (int i = 0; i < decimals; ++i) {
    scale *= 10;
  }
  if (units < 0) {
    AddChar(out, '-');
  }
  const uint32_t magnitude =
      units < 0 ? 0U - static_cast<uint32_t>(units) : static_cast<uint32_t>(units);
  AddUnsigned(out, magnitude / scale);
  AddChar(out, '.');
  for (uint32_t place = scale / 10; place != 0; place /= 10) {
    AddChar(out, static_cast<char>('0' + magnitude / place % 10));
  }
}

}  // namespace simcard

#endif  // WAVRIX_SIMCARD_TEXT_H_
