// FM1216: the FM radio receiver of the tuner module on the card.
//
// The tuner sits on the card's I2C bus. It is told a 15-bit divider (the
// oscillator frequency in steps of 1/16 MHz) and a control/port byte pair, and
// answers one status byte. After the tuning the card's general-purpose pins
// 9..11 are set so that the card routes the radio rather than the TV audio.
// The module keeps no state: every call starts from its arguments.
#ifndef WAVRIX_TUNER_FM1216_H_
#define WAVRIX_TUNER_FM1216_H_

#include <cstdint>

namespace fm1216 {

/// The FM broadcast band, both ends inclusive.
inline constexpr int32_t FmBandMinHz = 87500000;
inline constexpr int32_t FmBandMaxHz = 108000000;
/// The tuner's intermediate frequency: its oscillator runs this far above the
/// station.
inline constexpr int32_t FmIfOffsetHz = 10700000;
/// The tuner's bus address, in the 8-bit form used for reads and writes alike.
inline constexpr uint8_t TunerI2cAddress = 0xC0;

/// Hz in one MHz: the divider is reckoned in MHz, and the command line takes
/// MHz too (exact in any floating-point width).
inline constexpr double HzPerMhz = 1000000.0;
/// The divider counts oscillator steps of 62.5 kHz: 16 per MHz.
inline constexpr double DividerStepsPerMhz = 16.0;
/// The divider word is 15 bits wide: its bit 15 (bit 7 of the first byte
/// sent) must stay 0, since a first byte with bit 7 set is taken as a control
/// byte.
inline constexpr uint16_t DividerMask = 0x7FFF;

// The control byte: bit 7 is always 1 (it tells the tuner that a control byte,
// not a divider, follows the address), bits 1 and 2 select the 62.5 kHz
// reference step that the divider above assumes, bit 3 is the mode bit the
// FM receiver wants set.
inline constexpr uint8_t ControlMarkerBit = 0x80;
inline constexpr uint8_t ControlModeBit = 0x08;
inline constexpr uint8_t ControlStep62_5kHz = 0x06;
inline constexpr uint8_t ControlByte = ControlMarkerBit | ControlModeBit | ControlStep62_5kHz;
static_assert(ControlByte == 0x8E, "control byte for FM reception is 0x8E");

// The port byte switches the tuner's band and audio outputs. The FM radio
// section is selected by the base value 0xA4; port bit 0 is the caller's
// choice. The preliminary value 0xA1 is sent first when the tuner reports
// itself not yet ready for the FM setting.
inline constexpr uint8_t PortByteFmBase = 0xA4;
inline constexpr uint8_t PortBit0 = 0x01;
inline constexpr uint8_t PortBytePreliminary = 0xA1;
static_assert((PortByteFmBase | PortBit0) == 0xA5, "final port byte with bit 0 is 0xA5");
static_assert((PortByteFmBase & PortBit0) == 0, "base port byte leaves bit 0 to the caller");

/// Status bit 5: set after the divider write, the tuner needs the preliminary
/// control pair before the final one.
inline constexpr uint8_t StatusNeedsPreliminary = 0x20;
/// Status bit 6: the tuner's PLL has locked on the new frequency.
inline constexpr uint8_t StatusPllLocked = 0x40;

/// Settle after the preliminary pair before sending the final one.
inline constexpr uint32_t PreliminaryWaitMs = 30;
/// Settling: at most this many status polls, each after a wait.
inline constexpr int LockPollCount = 5;
inline constexpr uint32_t LockPollWaitMs = 30;
/// A last pause once the PLL has locked (or the polls ran out).
inline constexpr uint32_t FinalWaitMs = 1;

/// GPIO: pins 8..11 are driven by the program; pins 9..11 carry the pattern
/// that routes the radio (2) or the TV sound (6).
inline constexpr uint32_t RadioPinsOutputMask = 0x00000F00;
inline constexpr int32_t RadioPinsFirstBit = 9;
inline constexpr int32_t RadioPinsLastBit = 11;
inline constexpr int32_t RadioPinsRadioValue = 2;
inline constexpr int32_t RadioPinsTvValue = 6;

/// Nothing to do: the tuner needs no set-up of its own beyond the bus set-up.
inline void StartUp() {}
inline void ShutDown() {}

/// The tuner's divider for a station: (frequencyHz + FmIfOffsetHz) x 16 / 10^6
/// in double, rounded to nearest with ties to even, cut to 15 bits.
uint16_t DividerForFrequency(int32_t frequencyHz);

/// Programs the tuner for the station at `frequencyHz`. Returns false, having
/// sent nothing, when the frequency lies outside FmBandMinHz..FmBandMaxHz;
/// otherwise sends the divider, the control pairs and polls for lock, taking
/// 31 to 181 ms of waits, and returns true whatever the tuner reported.
/// `setPortBit0` chooses the final port byte 0xA5 (true) or 0xA4 (false).
bool TuneFrequency(int32_t frequencyHz, bool setPortBit0);

/// Reads one byte from the bus device at `address`. False exactly when the
/// library's result has low byte 1; `value` is then left as it was.
bool ReadTunerByte(uint8_t address, uint8_t& value);

/// The tuner's status byte, or 0 when the read fails.
uint8_t ReadTunerStatus();

/// Enables GPIO outputs 8..11 (keeping the others as they are) and writes the
/// radio (true) or TV (false) pattern to pins 9..11. True exactly when the
/// low byte of SetGPDATABits's result is 0.
bool SetRadioPins(bool radio);

}  // namespace fm1216

#endif  // WAVRIX_TUNER_FM1216_H_
