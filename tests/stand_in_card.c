/* A card library reduced to the nine operations, in plain C with no runtime
   of its own: the program must run against any such library. Every call
   succeeds and the tuner reports lock at once. Declared from the one list of
   the operations, so that a definition that strays from it does not
   compile. */
#include <stdint.h>

#define EXPORT __attribute__((visibility("default")))

#define BTVID_32_OPERATION(Result, Name, Parameters, Arguments) EXPORT Result Name Parameters;
#include "cardbus/btvid_32_operations.h"

int32_t I2CIsInitOK(void) {
  return 1;
}
int32_t I2CInitHWMode(int32_t busClockHz) {
  return busClockHz > 0 ? 0 : 1;
}
int32_t GPIOIsInitOK(void) {
  return 1;
}
int32_t SetGPIOMODE(int32_t mode) {
  return mode;
}
int32_t I2CHWWrite3(uint32_t address, uint32_t first, uint32_t second) {
  return address + first + second > 0 ? 0 : 1;
}
int32_t I2CHWRead(uint32_t address, uint8_t* buffer) {
  *buffer = 0x40;
  return address == 0 ? 1 : 0;
}
uint32_t GetGPOE(void) {
  return 0;
}
int32_t SetGPOE(uint32_t mask) {
  return mask == 0 ? 1 : 0;
}
int32_t SetGPDATABits(int32_t firstBit, int32_t lastBit, int32_t value, int32_t reserved) {
  return firstBit > lastBit ? 1 : value * reserved;
}
