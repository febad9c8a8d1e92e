// The simulated card as a card library: libbtvid_32.so on Linux, BTVID_32.DLL
// on Windows. It exports the nine operations of the card's driver library and
// answers them with the simulated card (card.h), on the C library alone, so
// that starting a program against it costs what starting against a driver
// would. On Windows it is built twice, as drivers come: with stdcall (the
// library removes its arguments) and, with SIMCARD_CDECL, with the C
// convention (the caller does).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "simcard/card.h"

#if defined(_WIN32)
#include <windows.h>
// The DLL exports the nine operations by their undecorated names.
#define SIMCARD_EXPORT __declspec(dllexport)
#if defined(SIMCARD_CDECL)
#define SIMCARD_CALL __cdecl
#else
#define SIMCARD_CALL __stdcall
#endif
#else
#include <time.h>  // NOLINT(modernize-deprecated-headers): POSIX's clock_gettime
// The shared library exports them, and only them: everything else is hidden.
#define SIMCARD_EXPORT __attribute__((visibility("default")))
#define SIMCARD_CALL
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

#define BTVID_32_OPERATION(Result, Name, Parameters, Arguments) \
  SIMCARD_EXPORT Result SIMCARD_CALL Name Parameters {          \
    return simcard::Name Arguments;                             \
  }
#include "cardbus/btvid_32_operations.h"

}  // extern "C"
