// The simulated card as a card library: libbtvid_32.so on Linux, BTVID_32.DLL
// on Windows. It exports the nine operations of the card's driver library and
// answers them with the simulated card (card.h), on the C library alone, so
// that starting a program against it costs what starting against a driver
// would.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "cardbus/btvid_32.h"
#include "simcard/card.h"

#if defined(_WIN32)
#include <windows.h>
// The DLL exports the nine operations by their undecorated names.
#define SIMCARD_EXPORT __declspec(dllexport)
#else
// The shared library exports them (and, by its version script, only them).
#define SIMCARD_EXPORT __attribute__((visibility("default")))
#endif

namespace simcard::host {
namespace {

std::FILE* trace = nullptr;

}  // namespace

const char* Env(const char* name) {
  return std::getenv(name);
}

uint32_t NowMs() {
#if defined(_WIN32)
  LARGE_INTEGER count;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return static_cast<uint32_t>(count.QuadPart * 1000 / frequency.QuadPart);
#else
  timespec now{};
  (void)clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(now.tv_sec * 1000LL + now.tv_nsec / 1000000LL);
#endif
}

void TraceToStandardError() {
  trace = stderr;
}

bool TraceToFile(const char* path) {
  trace = std::fopen(path, "wb");
  return trace != nullptr;
}

void WriteTrace(const char* text, size_t length) {
  // Flushed line by line, so that a trace is complete however the program ends.
  (void)std::fwrite(text, 1, length, trace);
  (void)std::fflush(trace);
}

void WriteError(const char* text, size_t length) {
  (void)std::fwrite(text, 1, length, stderr);
}

}  // namespace simcard::host

extern "C" {

SIMCARD_EXPORT int32_t BTVID_32_CALL I2CIsInitOK(void) {
  return simcard::I2CIsInitOK();
}

SIMCARD_EXPORT int32_t BTVID_32_CALL I2CInitHWMode(int32_t bus_clock_hz) {
  return simcard::I2CInitHWMode(bus_clock_hz);
}

SIMCARD_EXPORT int32_t BTVID_32_CALL GPIOIsInitOK(void) {
  return simcard::GPIOIsInitOK();
}

SIMCARD_EXPORT int32_t BTVID_32_CALL SetGPIOMODE(int32_t mode) {
  return simcard::SetGPIOMODE(mode);
}

SIMCARD_EXPORT int32_t BTVID_32_CALL I2CHWWrite3(uint8_t address, uint8_t first, uint8_t second) {
  return simcard::I2CHWWrite3(address, first, second);
}

SIMCARD_EXPORT int32_t BTVID_32_CALL I2CHWRead(uint8_t address, uint8_t* value) {
  return simcard::I2CHWRead(address, value);
}

SIMCARD_EXPORT uint32_t BTVID_32_CALL GetGPOE(void) {
  return simcard::GetGPOE();
}

SIMCARD_EXPORT int32_t BTVID_32_CALL SetGPOE(uint32_t mask) {
  return simcard::SetGPOE(mask);
}

SIMCARD_EXPORT int32_t BTVID_32_CALL SetGPDATABits(int32_t first_bit, int32_t last_bit,
                                                   int32_t value, int32_t reserved) {
  return simcard::SetGPDATABits(first_bit, last_bit, value, reserved);
}

}  // extern "C"
