// The simulated card: a stand-in for the card's driver library that behaves
// like a card with an FM1216 tuner, as far as Wavrix can see. It keeps the
// output-enable mask and pin data, takes divider and control pairs, and
// answers status reads. It is configured only through its environment:
//
//   WAVRIX_SIM_TRACE   "stderr" (or "-") traces every call to standard error;
//                      any other value is a file to write the trace to.
//   WAVRIX_SIM_TIME    "1": each trace line starts with the milliseconds since
//                      the first call, so the waits between calls show.
//   WAVRIX_SIM_STATUS  the status bytes that reads return, in order, as a
//                      comma-separated list of hex bytes; "fail" makes that
//                      read fail. The last entry repeats. Default "40": PLL
//                      locked, no preliminary pair wanted.
//   WAVRIX_SIM_GPOE    the output-enable mask the card starts with, in hex.
//
// Like a real driver it is plain: C library only, no C++ runtime to load, so
// that starting the program against it costs what starting against a driver
// would.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "cardbus/btvid_32.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

constexpr int kReadFailed = 1;
constexpr int kStatusFails = -1;
constexpr int kStatusLocked = 0x40;
constexpr int kStatusWantsPreliminary = 0x20;
constexpr size_t kMaxStatuses = 64;
constexpr size_t kLineLength = 192;

struct Card {
  bool configured = false;
  std::FILE* trace = nullptr;
  bool timed = false;
  long long startMs = 0;
  int statuses[kMaxStatuses] = {};  // kStatusFails: the read fails
  size_t statusCount = 0;
  size_t nextStatus = 0;
  uint32_t outputEnable = 0;
  uint32_t pinData = 0;
};

// The card's state lives as long as the library is loaded.
Card card;

// A monotonic clock in milliseconds, for the trace's time column.
long long NowMs() {
#if defined(_WIN32)
  LARGE_INTEGER count;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return count.QuadPart * 1000 / frequency.QuadPart;
#else
  timespec now{};
  (void)clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000LL;
#endif
}

// One line of text, formatted printf-style.
struct Text {
  char text[kLineLength];
};

template <typename First, typename... Rest>
Text Format(const char* format, First first, Rest... rest) {
  Text line{};
  (void)std::snprintf(line.text, sizeof line.text, format, first, rest...);
  return line;
}

Text Plain(const char* text) {
  return Format("%s", text);
}

// Reads "40,20,fail" into the status script; a bad entry is reported and
// left out.
void ParseStatuses(const char* list) {
  const char* item = list;
  while (card.statusCount < kMaxStatuses) {
    const size_t length = std::strcspn(item, ",");
    char* end = nullptr;
    const unsigned long value = std::strtoul(item, &end, 16);
    if (length == 4 && std::strncmp(item, "fail", 4) == 0) {
      card.statuses[card.statusCount++] = kStatusFails;
    } else if (length > 0 && end == item + length && value <= 0xFF) {
      card.statuses[card.statusCount++] = static_cast<int>(value);
    } else {
      (void)std::fprintf(stderr, "simulated card: ignoring status entry '%.*s'\n",
                         static_cast<int>(length), item);
    }
    if (item[length] == '\0') {
      break;
    }
    item += length + 1;
  }
}

// Reads the environment at the first call, as a driver would set up the card.
void Configure() {
  if (card.configured) {
    return;
  }
  card.configured = true;
  card.startMs = NowMs();
  if (const char* trace = std::getenv("WAVRIX_SIM_TRACE")) {
    if (std::strcmp(trace, "stderr") == 0 || std::strcmp(trace, "-") == 0) {
      card.trace = stderr;
    } else if ((card.trace = std::fopen(trace, "wb")) == nullptr) {
      (void)std::fprintf(stderr, "simulated card: cannot write trace to %s\n", trace);
    }
  }
  const char* timed = std::getenv("WAVRIX_SIM_TIME");
  card.timed = timed != nullptr && std::strcmp(timed, "1") == 0;
  if (const char* statuses = std::getenv("WAVRIX_SIM_STATUS")) {
    ParseStatuses(statuses);
  }
  if (card.statusCount == 0) {
    card.statuses[card.statusCount++] = kStatusLocked;
  }
  if (const char* mask = std::getenv("WAVRIX_SIM_GPOE")) {
    card.outputEnable = static_cast<uint32_t>(std::strtoul(mask, nullptr, 16));
  }
}

// One trace line: the call as made, then what it meant to the card.
void Trace(const Text& call, const Text& meaning = Text{}) {
  Configure();
  if (card.trace == nullptr) {
    return;
  }
  char stamp[32] = "";
  if (card.timed) {
    (void)std::snprintf(stamp, sizeof stamp, "%6lld ms  ", NowMs() - card.startMs);
  }
  if (meaning.text[0] == '\0') {
    (void)std::fprintf(card.trace, "btvid_32: %s%s\n", stamp, call.text);
  } else {
    // The meaning in a column of its own, at least two blanks after the call.
    const size_t length = std::strlen(call.text);
    const int width = static_cast<int>(length < 31 ? 32 : length + 1);
    (void)std::fprintf(card.trace, "btvid_32: %s%-*s %s\n", stamp, width, call.text, meaning.text);
  }
  (void)std::fflush(card.trace);
}

// "8-11" or "0, 8-11": the enabled outputs as runs of pin numbers.
struct PinList {
  char text[128];  // 32 single pins take 125 characters
};

PinList PinRuns(uint32_t mask) {
  PinList runs{};
  size_t used = 0;
  for (int pin = 0; pin < 32;) {
    if ((mask >> pin & 1U) == 0) {
      ++pin;
      continue;
    }
    int last = pin;
    while (last + 1 < 32 && (mask >> (last + 1) & 1U) != 0) {
      ++last;
    }
    const int written = last == pin ? std::snprintf(runs.text + used, sizeof runs.text - used,
                                                    "%s%d", used == 0 ? "" : ", ", pin)
                                    : std::snprintf(runs.text + used, sizeof runs.text - used,
                                                    "%s%d-%d", used == 0 ? "" : ", ", pin, last);
    used += written > 0 ? static_cast<size_t>(written) : 0;
    pin = last + 1;
  }
  if (used == 0) {
    (void)std::snprintf(runs.text, sizeof runs.text, "none");
  }
  return runs;
}

Text DescribeStatus(int status) {
  return Format("status %02X%s%s", status, (status & kStatusLocked) != 0 ? ", PLL locked" : "",
                (status & kStatusWantsPreliminary) != 0 ? ", bit 5 set" : "");
}

}  // namespace

extern "C" {

int32_t BTVID_32_CALL I2CIsInitOK(void) {
  Trace(Plain("I2CIsInitOK() = 1"));
  return 1;
}

int32_t BTVID_32_CALL I2CInitHWMode(int32_t bus_clock_hz) {
  Trace(Format("I2CInitHWMode(%d) = 0", bus_clock_hz), Format("I2C bus at %d Hz", bus_clock_hz));
  return 0;
}

int32_t BTVID_32_CALL GPIOIsInitOK(void) {
  Trace(Plain("GPIOIsInitOK() = 1"));
  return 1;
}

int32_t BTVID_32_CALL SetGPIOMODE(int32_t mode) {
  Trace(Format("SetGPIOMODE(%d) = 0", mode));
  return 0;
}

int32_t BTVID_32_CALL I2CHWWrite3(uint8_t address, uint8_t first, uint8_t second) {
  Text meaning{};
  if (address != 0xC0) {
    meaning = Plain("no tuner at this address");
  } else if ((first & 0x80) != 0) {
    // A first byte with bit 7 set is the tuner's control byte.
    meaning = Format("control %02X, port byte %02X", first, second);
  } else {
    const int divider = (first << 8) | second;
    // The oscillator runs 10.7 MHz above the station, in 62.5 kHz steps; the
    // station is the broadcast channel (50 kHz raster) nearest to its step.
    const long long oscillatorHz = divider * 62500LL;
    const long long channels = (oscillatorHz - 10700000LL + 25000LL) / 50000LL;
    meaning = Format("divider %d -> %.3f MHz station (oscillator %.4f MHz)", divider,
                     static_cast<double>(channels) * 0.05, static_cast<double>(oscillatorHz) / 1e6);
  }
  Trace(Format("I2CHWWrite3(%02X, %02X, %02X) = 0", address, first, second), meaning);
  return 0;
}

int32_t BTVID_32_CALL I2CHWRead(uint8_t address, uint8_t* value) {
  Configure();
  const int status = card.statuses[card.nextStatus];
  if (card.nextStatus + 1 < card.statusCount) {
    ++card.nextStatus;
  }
  if (status == kStatusFails || address != 0xC0) {
    Trace(Format("I2CHWRead(%02X) = 1", address), Plain("read failed"));
    return kReadFailed;
  }
  *value = static_cast<uint8_t>(status);
  Trace(Format("I2CHWRead(%02X) = 0 -> %02X", address, status), DescribeStatus(status));
  return 0;
}

uint32_t BTVID_32_CALL GetGPOE(void) {
  Configure();
  Trace(Format("GetGPOE() = %08X", card.outputEnable));
  return card.outputEnable;
}

int32_t BTVID_32_CALL SetGPOE(uint32_t mask) {
  Configure();
  card.outputEnable = mask;
  Trace(Format("SetGPOE(%08X) = 0", mask), Format("GPIO outputs %s enabled", PinRuns(mask).text));
  return 0;
}

int32_t BTVID_32_CALL SetGPDATABits(int32_t first_bit, int32_t last_bit, int32_t value,
                                    int32_t reserved) {
  Configure();
  if (first_bit >= 0 && last_bit < 32 && first_bit <= last_bit) {
    const auto width = static_cast<uint32_t>(last_bit - first_bit + 1);
    const uint32_t field = width >= 32 ? 0xFFFFFFFFU : ((1U << width) - 1);
    card.pinData = (card.pinData & ~(field << first_bit)) |
                   ((static_cast<uint32_t>(value) & field) << first_bit);
  }
  Trace(Format("SetGPDATABits(%d, %d, %d, %d) = 0", first_bit, last_bit, value, reserved),
        Format("data bits %d..%d = %d", first_bit, last_bit, value));
  return 0;
}

}  // extern "C"
