#include "cardbus/btvid_32.h"

namespace btvid_32 {

void StartUp() {
  // The driver wants its I2C and pin sides brought up before any transfer.
  // A card that refuses is not a reason to stop: the tuner code copes with
  // failed reads, and the user hears the result either way.
  I2CIsInitOK();
  I2CInitHWMode(I2cBusClockHz);
  GPIOIsInitOK();
  SetGPIOMODE(GpioMode);
}

}  // namespace btvid_32
