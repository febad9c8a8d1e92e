// The x87 unit's state, as the tests look at it and set it.
#ifndef WAVRIX_TESTS_X87_STATE_H_
#define WAVRIX_TESTS_X87_STATE_H_

#include <cstdint>

namespace x87 {

/// Loads `word` into the control register.
inline void LoadControlWord(uint16_t word) {
  __asm__ volatile("fldcw %0" : : "m"(word));
}

/// Bit 6 of the control word is reserved: the unit keeps it as it likes.
inline constexpr uint16_t ReservedBit6 = 0x0040;

/// The control word as stored, less the reserved bit 6.
inline uint16_t ControlWord() {
  uint16_t word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word & ~ReservedBit6;
}

/// The tag word: two bits a register, 11 for empty, so FFFF when every
/// register is. FNSTENV masks every exception as it stores, so the
/// environment is loaded back.
inline uint16_t TagWord() {
  uint32_t environment[7] = {};
  __asm__ volatile("fnstenv %0\n\tfldenv %0" : "+m"(environment));
  return static_cast<uint16_t>(environment[2]);
}

}  // namespace x87

#endif  // WAVRIX_TESTS_X87_STATE_H_
