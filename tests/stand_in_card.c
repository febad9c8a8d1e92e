/* A card library reduced to the nine operations, in plain C with no runtime
   of its own: the program must run against any such library. Every call
   succeeds and the tuner reports lock at once. */
#include <stdint.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT int32_t I2CIsInitOK(void) {
  return 1;
}
EXPORT int32_t I2CInitHWMode(int32_t bus_clock_hz) {
  return bus_clock_hz > 0 ? 0 : 1;
}
EXPORT int32_t GPIOIsInitOK(void) {
  return 1;
}
EXPORT int32_t SetGPIOMODE(int32_t mode) {
  return mode;
}
EXPORT int32_t I2CHWWrite3(uint8_t address, uint8_t first, uint8_t second) {
  return address + first + second > 0 ? 0 : 1;
}
EXPORT int32_t I2CHWRead(uint8_t address, uint8_t* value) {
  *value = 0x40;
  return address == 0 ? 1 : 0;
}
EXPORT uint32_t GetGPOE(void) {
  return 0;
}
EXPORT int32_t SetGPOE(uint32_t mask) {
  return mask == 0 ? 1 : 0;
}
EXPORT int32_t SetGPDATABits(int32_t first, int32_t last, int32_t value, int32_t reserved) {
  return first > last ? 1 : value * reserved;
}
