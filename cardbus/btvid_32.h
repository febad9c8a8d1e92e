// The card's driver library, as Wavrix sees it.
//
// Everything that reaches the card goes through these nine operations of the
// card's driver library (BTVID_32.DLL on Windows, libbtvid_32.so on Linux).
// The program binds them when it is loaded; there is no code path for a
// missing library. Any library that exports these names with these argument
// orders can stand in: the simulated card in simcard/, or a real card's driver.
#ifndef WAVRIX_CARDBUS_BTVID_32_H_
#define WAVRIX_CARDBUS_BTVID_32_H_

#include <cstdint>

// The library's calling convention. The Windows driver exports its operations
// with __stdcall; a card whose library differs needs only this line changed.
#if defined(_WIN32)
#define BTVID_32_CALL __stdcall
#else
#define BTVID_32_CALL
#endif

extern "C" {

/// Asks whether the I2C side of the card is ready. Result not examined.
int32_t BTVID_32_CALL I2CIsInitOK(void);
/// Puts the I2C controller into hardware mode at the given bus clock (Hz).
int32_t BTVID_32_CALL I2CInitHWMode(int32_t bus_clock_hz);
/// Asks whether the general-purpose pin side of the card is ready.
int32_t BTVID_32_CALL GPIOIsInitOK(void);
/// Selects how the general-purpose pins are driven.
int32_t BTVID_32_CALL SetGPIOMODE(int32_t mode);
/// Sends `first` then `second` to the device at `address` in one transfer.
int32_t BTVID_32_CALL I2CHWWrite3(uint8_t address, uint8_t first, uint8_t second);
/// Reads one byte from the device at `address` into `*value`. A low result
/// byte of 1 means the read failed; `*value` may then hold anything, part of
/// a byte included.
int32_t BTVID_32_CALL I2CHWRead(uint8_t address, uint8_t* value);
/// The card's general-purpose output-enable mask, one bit per pin.
uint32_t BTVID_32_CALL GetGPOE(void);
/// Replaces the output-enable mask.
int32_t BTVID_32_CALL SetGPOE(uint32_t mask);
/// Writes `value` into the data pins `first_bit`..`last_bit`. A low result
/// byte of 0 means success.
int32_t BTVID_32_CALL SetGPDATABits(int32_t first_bit, int32_t last_bit, int32_t value,
                                    int32_t reserved);

}  // extern "C"

namespace btvid_32 {

/// Bus clock asked of the I2C controller at start-up: standard-mode 100 kHz.
inline constexpr int32_t I2cBusClockHz = 100000;
/// Pin mode selected at start-up.
inline constexpr int32_t GpioMode = 0;

/// Runs the card's one-time bus set-up: I2CIsInitOK, I2CInitHWMode(100000),
/// GPIOIsInitOK, SetGPIOMODE(0), in that order. No result is examined: a card
/// that fails here shows it later, as failed reads and ignored writes. Some
/// drivers leave the x87 at 53-bit or 24-bit precision after their set-up, so
/// the x87 control word is the caller's to load again afterwards.
void StartUp();

/// Nothing is sent to the card when the program ends.
inline void ShutDown() {}

}  // namespace btvid_32

#endif  // WAVRIX_CARDBUS_BTVID_32_H_
