// The card's driver library, as Wavrix sees it.
//
// Everything that reaches the card goes through the nine operations of the
// card's driver library (BTVID_32.DLL on Windows, libbtvid_32.so on Linux),
// listed in btvid_32_operations.h. The program binds them when it is loaded;
// there is no code path for a missing library. Any library that exports
// these names with these argument orders can stand in: the simulated card in
// simcard/, or a real card's driver.
//
// Nothing here assumes how that closed library was built. Each call goes
// through one call gate (call_gate.h), after which the stack is as it was
// whether the library removed its arguments itself (stdcall) or left that to
// the caller (the C convention), and the x87 is empty and under the
// program's control word whatever the library did with it. Byte arguments
// travel in whole 32-bit slots with the upper bits zero, and a read gets a
// buffer that any store of up to a word fits.
#ifndef WAVRIX_CARDBUS_BTVID_32_H_
#define WAVRIX_CARDBUS_BTVID_32_H_

#include <cstdint>

#include "cardbus/call_gate.h"

// The library's own entry points, by their undecorated names. The program
// calls them only through the wrappers below; the tests' card in their own
// process defines the same names.
namespace btvid_32::library {
extern "C" {
#define BTVID_32_OPERATION(Result, Name, Parameters, Arguments) Result Name Parameters;
#include "cardbus/btvid_32_operations.h"
}
}  // namespace btvid_32::library

namespace btvid_32 {

// The operations as the program calls them: the same names and arguments,
// each through the call gate. A bus byte given as uint8_t becomes its
// uint32_t slot by the parameter's type, so its upper bits are zero.
#define BTVID_32_OPERATION(Result, Name, Parameters, Arguments) \
  inline Result Name Parameters {                               \
    return Call<&library::Name> Arguments;                      \
  }
#include "cardbus/btvid_32_operations.h"

/// What I2CHWRead stores into: the library promises one byte, but a driver
/// that stores a whole word must not overwrite anything of the caller's. The
/// word starts zeroed; the byte read is its first (lowest) byte.
struct alignas(4) ReadBuffer {
  uint8_t bytes[4] = {};
};

/// Bus clock asked of the I2C controller at start-up: standard-mode 100 kHz.
inline constexpr int32_t I2cBusClockHz = 100000;
/// Pin mode selected at start-up.
inline constexpr int32_t GpioMode = 0;

/// Runs the card's one-time bus set-up: I2CIsInitOK, I2CInitHWMode(100000),
/// GPIOIsInitOK, SetGPIOMODE(0), in that order. No result is examined: a card
/// that fails here shows it later, as failed reads and ignored writes.
void StartUp();

/// Nothing is sent to the card when the program ends.
inline void ShutDown() {}

}  // namespace btvid_32

#endif  // WAVRIX_CARDBUS_BTVID_32_H_
