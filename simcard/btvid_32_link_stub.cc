// What the Linux program is linked against in place of the card library: the
// nine operations with no body worth the name, in a library whose name (its
// soname) is "$ORIGIN/libbtvid_32.so". The program therefore records that it
// needs libbtvid_32.so from its own folder, and at load time the dynamic
// linker binds it to whatever library lies there -- the simulated card or a
// real card's driver -- by the nine names alone, without searching a path.
// This stub is never loaded.
#include "cardbus/btvid_32.h"

extern "C" {

int32_t I2CIsInitOK(void) {
  return 0;
}
int32_t I2CInitHWMode(int32_t /*bus_clock_hz*/) {
  return 0;
}
int32_t GPIOIsInitOK(void) {
  return 0;
}
int32_t SetGPIOMODE(int32_t /*mode*/) {
  return 0;
}
int32_t I2CHWWrite3(uint8_t /*address*/, uint8_t /*first*/, uint8_t /*second*/) {
  return 0;
}
int32_t I2CHWRead(uint8_t /*address*/, uint8_t* /*value*/) {
  return 1;
}
uint32_t GetGPOE(void) {
  return 0;
}
int32_t SetGPOE(uint32_t /*mask*/) {
  return 0;
}
int32_t SetGPDATABits(int32_t /*first_bit*/, int32_t /*last_bit*/, int32_t /*value*/,
                      int32_t /*reserved*/) {
  return 1;
}

}  // extern "C"
