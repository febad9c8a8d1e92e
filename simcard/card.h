// The simulated card: a card with an FM1216 tuner, as far as Wavrix can see.
// It keeps the output-enable mask and answers status reads from a script;
// the divider, control pairs and pin data sent to it are only traced, like
// every call. It is configured only through its environment:
//
//   WAVRIX_SIM_TRACE   "stderr" (or "-") traces every call to standard error;
//                      any other value is a file to write the trace to.
//   WAVRIX_SIM_TIME    "1": each trace line starts with the milliseconds since
//                      the first call, so the waits between calls show; "0":
//                      no times (as when it is not set).
//   WAVRIX_SIM_STATUS  the status bytes that reads return, in order, as a
//                      comma-separated list of hex bytes; "fail" makes that
//                      read fail, and "fail:60" makes it fail after leaving
//                      the byte 60 in the caller's buffer, as a driver may.
//                      An entry may end in "=RESULT", the library's result
//                      in decimal in place of 0 (or 1 for a failed read):
//                      "40=256", "fail=513". The last entry repeats.
//                      Default "40": PLL locked, no preliminary pair wanted.
//   WAVRIX_SIM_GPOE    the output-enable mask the card starts with, in hex.
//   WAVRIX_SIM_GPDATA_RESULT
//                      what SetGPDATABits returns, in decimal; default 0.
//   WAVRIX_SIM_CONTROL_WORD
//                      an x87 control word, in hex, that every call loads
//                      before it returns, as drivers that set the unit to
//                      their own liking do: 027F leaves it at 53-bit
//                      precision, 007F at 24-bit.
//   WAVRIX_SIM_DRIVER  how the driver was built, as a comma-separated list of
//                      what it does beyond the bare promise:
//                        stores-word        a read stores a whole word: the
//                                           byte, then three non-zero bytes
//                        reads-whole-bytes  a byte argument is read as its
//                                           whole 32-bit slot, so upper bits
//                                           show as another address or byte
//                        leaves-x87-full    every call returns with all eight
//                                           x87 registers in use
//
// With the trace on, a driver given a control word or any of these three
// traits says so in a line of its own ahead of the first call ("simulated
// card: the driver ...").
// A value it cannot read is named on standard error and left out.
//
// This is the card's whole behaviour and trace, with no C library under it,
// so that each of its hosts shares it: the card library (library.cc, as
// libbtvid_32.so or BTVID_32.DLL), the exe runner, which gives the Windows
// program the nine operations itself, and the tests' card in the same
// process (tests/in_process_card.h). Each of them supplies the few things of
// its surroundings below (namespace host).
#ifndef WAVRIX_SIMCARD_CARD_H_
#define WAVRIX_SIMCARD_CARD_H_

// The C forms: the runner is built freestanding for a 32-bit target, where
// only the compiler's own headers exist.
#include <stddef.h>  // NOLINT(modernize-deprecated-headers)
#include <stdint.h>  // NOLINT(modernize-deprecated-headers)

namespace simcard {

/// The nine operations of the card's driver library, with the library's
/// results, as the simulated card answers them. A failed I2CHWRead (result 1)
/// leaves the buffer untouched, unless the status script has the failing
/// read leave a byte behind.
#define BTVID_32_OPERATION(Result, Name, Parameters, Arguments) Result Name Parameters;
#include "cardbus/btvid_32_operations.h"

/// Forgets everything: the card is as when just loaded, and reads its
/// settings again at the next call. For a host that runs many cards, one
/// after the other, in one process.
void Reset();

namespace host {

/// The value of environment variable `name`, or null when it is not set.
const char* Env(const char* name);
/// A millisecond clock that never goes back; its origin does not matter.
uint32_t NowMs();
/// Sends the trace to standard error from now on.
void TraceToStandardError();
/// Sends the trace to the file at `path`, made anew; false when it cannot.
bool TraceToFile(const char* path);
/// Appends `length` bytes to the trace.
void WriteTrace(const char* text, size_t length);
/// Writes `length` bytes of a complaint about the configuration to standard
/// error.
void WriteError(const char* text, size_t length);

}  // namespace host

}  // namespace simcard

#endif  // WAVRIX_SIMCARD_CARD_H_
