#include "tuner/fm1216.h"

#include <cstdint>

#include "cardbus/btvid_32.h"
#include "platform/fpu.h"
#include "platform/platform.h"

namespace fm1216 {

uint16_t DividerForFrequency(int32_t frequencyHz) {
  // Computed in double as the tuner's step arithmetic has always been done;
  // each step is forced to a true double so that a build doing its arithmetic
  // in wider registers gets the same bits. Within the band the quotient has a
  // fraction that is a multiple of 1/62500, so the rounding is never
  // disturbed, and exact halves (89,331,250 Hz gives 1600.5) go to the even
  // neighbour.
  double x = static_cast<double>(int64_t{frequencyHz} + FmIfOffsetHz);
  x = platform::RoundToDouble(x * DividerStepsPerMhz);
  x = platform::RoundToDouble(x / HzPerMhz);
  int64_t divider = 0;
  platform::RoundHalfEvenToInt64(x, divider);  // always fits: |x| < 2^33
  return static_cast<uint16_t>(divider & DividerMask);
}

bool ReadTunerByte(uint8_t address, uint8_t& value) {
  // The library promises to store one byte, but a driver may store a whole
  // word: it gets one, zeroed and aligned, and the byte read is its first.
  btvid_32::ReadBuffer buffer;
  // The library reports success only in the low byte of its result.
  if ((btvid_32::I2CHWRead(address, buffer.bytes) & 0xFF) == 1) {
    return false;
  }
  value = buffer.bytes[0];
  return true;
}

uint8_t ReadTunerStatus() {
  // A failed read counts as status 0, whatever the driver left in its
  // buffer: read as a status, a stray bit 5 would send the preliminary pair
  // and a stray bit 6 would end the wait for lock. ReadTunerByte leaves
  // `status` alone then.
  uint8_t status = 0;
  (void)ReadTunerByte(TunerI2cAddress, status);
  return status;
}

bool TuneFrequency(int32_t frequencyHz, bool setPortBit0) {
  if (frequencyHz < FmBandMinHz || frequencyHz > FmBandMaxHz) {
    return false;
  }
  const uint16_t divider = DividerForFrequency(frequencyHz);
  // The tuner takes the divider high byte first.
  btvid_32::I2CHWWrite3(TunerI2cAddress, static_cast<uint8_t>(divider >> 8),
                        static_cast<uint8_t>(divider & 0xFF));

  if ((ReadTunerStatus() & StatusNeedsPreliminary) != 0) {
    btvid_32::I2CHWWrite3(TunerI2cAddress, ControlByte, PortBytePreliminary);
    platform::SleepMilliseconds(PreliminaryWaitMs);
  }

  const uint8_t port = setPortBit0 ? (PortByteFmBase | PortBit0) : PortByteFmBase;
  btvid_32::I2CHWWrite3(TunerI2cAddress, ControlByte, port);

  // Give the PLL time to lock; a tuner that never reports lock only costs the
  // full wait, the station is usually there anyway.
  for (int poll = 0; poll < LockPollCount; ++poll) {
    platform::SleepMilliseconds(LockPollWaitMs);
    if ((ReadTunerStatus() & StatusPllLocked) != 0) {
      break;
    }
  }
  platform::SleepMilliseconds(FinalWaitMs);
  return true;
}

bool SetRadioPins(bool radio) {
  btvid_32::SetGPOE(btvid_32::GetGPOE() | RadioPinsOutputMask);
  const int32_t result = btvid_32::SetGPDATABits(RadioPinsFirstBit, RadioPinsLastBit,
                                                 radio ? RadioPinsRadioValue : RadioPinsTvValue, 0);
  return (result & 0xFF) == 0;
}

}  // namespace fm1216
