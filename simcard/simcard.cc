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
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cardbus/btvid_32.h"

namespace {

constexpr int kReadFailed = 1;
constexpr int kStatusLocked = 0x40;
constexpr int kStatusWantsPreliminary = 0x20;

struct Card {
  std::FILE* trace = nullptr;
  bool timed = false;
  std::chrono::steady_clock::time_point start;
  std::vector<int> statuses;  // -1: the read fails
  size_t nextStatus = 0;
  uint32_t outputEnable = 0;
  uint32_t pinData = 0;
};

// Reads "40,20,fail" into status entries; a bad entry leaves the default.
std::vector<int> ParseStatuses(const char* text) {
  std::vector<int> statuses;
  std::string list = text;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) {
      end = list.size();
    }
    const std::string item = list.substr(start, end - start);
    char* stop = nullptr;
    const unsigned long value = std::strtoul(item.c_str(), &stop, 16);
    if (item == "fail") {
      statuses.push_back(-1);
    } else if (!item.empty() && *stop == '\0' && value <= 0xFF) {
      statuses.push_back(static_cast<int>(value));
    } else {
      (void)std::fprintf(stderr, "simulated card: ignoring status entry '%s'\n", item.c_str());
    }
    start = end + 1;
  }
  return statuses;
}

Card& TheCard() {
  static Card card = [] {
    Card c;
    c.start = std::chrono::steady_clock::now();
    if (const char* trace = std::getenv("WAVRIX_SIM_TRACE")) {
      if (std::strcmp(trace, "stderr") == 0 || std::strcmp(trace, "-") == 0) {
        c.trace = stderr;
      } else if ((c.trace = std::fopen(trace, "wb")) == nullptr) {
        (void)std::fprintf(stderr, "simulated card: cannot write trace to %s\n", trace);
      }
    }
    const char* timed = std::getenv("WAVRIX_SIM_TIME");
    c.timed = timed != nullptr && std::strcmp(timed, "1") == 0;
    if (const char* statuses = std::getenv("WAVRIX_SIM_STATUS")) {
      c.statuses = ParseStatuses(statuses);
    }
    if (c.statuses.empty()) {
      c.statuses.push_back(kStatusLocked);
    }
    if (const char* mask = std::getenv("WAVRIX_SIM_GPOE")) {
      c.outputEnable = static_cast<uint32_t>(std::strtoul(mask, nullptr, 16));
    }
    return c;
  }();
  return card;
}

// One trace line: the call as made, then what it meant to the card.
void Trace(const char* call, const std::string& meaning = {}) {
  Card& card = TheCard();
  if (card.trace == nullptr) {
    return;
  }
  std::string line = "btvid_32: ";
  if (card.timed) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - card.start);
    char stamp[32];
    (void)std::snprintf(stamp, sizeof stamp, "%6lld ms  ", static_cast<long long>(ms.count()));
    line += stamp;
  }
  line += call;
  if (!meaning.empty()) {
    line.resize(std::max<size_t>(line.size() + 2, card.timed ? 54 : 44), ' ');
    line += meaning;
  }
  line += '\n';
  (void)std::fputs(line.c_str(), card.trace);
  (void)std::fflush(card.trace);
}

// printf-style formatting into a string, for trace lines.
template <typename... Args>
std::string Format(const char* format, Args... args) {
  char buffer[160];
  (void)std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

// "8-11" or "0, 8-11": the enabled outputs as runs of pin numbers.
std::string PinRuns(uint32_t mask) {
  std::string runs;
  for (int pin = 0; pin < 32;) {
    if ((mask >> pin & 1) == 0) {
      ++pin;
      continue;
    }
    int last = pin;
    while (last + 1 < 32 && (mask >> (last + 1) & 1) != 0) {
      ++last;
    }
    runs += runs.empty() ? "" : ", ";
    runs += last == pin ? Format("%d", pin) : Format("%d-%d", pin, last);
    pin = last + 1;
  }
  return runs.empty() ? "none" : runs;
}

std::string DescribeStatus(int status) {
  std::string text = Format("status %02X", status);
  if ((status & kStatusLocked) != 0) {
    text += ", PLL locked";
  }
  if ((status & kStatusWantsPreliminary) != 0) {
    text += ", bit 5 set";
  }
  return text;
}

}  // namespace

extern "C" {

int32_t BTVID_32_CALL I2CIsInitOK(void) {
  Trace("I2CIsInitOK() = 1");
  return 1;
}

int32_t BTVID_32_CALL I2CInitHWMode(int32_t bus_clock_hz) {
  Trace(Format("I2CInitHWMode(%d) = 0", bus_clock_hz).c_str(),
        Format("I2C bus at %d Hz", bus_clock_hz));
  return 0;
}

int32_t BTVID_32_CALL GPIOIsInitOK(void) {
  Trace("GPIOIsInitOK() = 1");
  return 1;
}

int32_t BTVID_32_CALL SetGPIOMODE(int32_t mode) {
  Trace(Format("SetGPIOMODE(%d) = 0", mode).c_str());
  return 0;
}

int32_t BTVID_32_CALL I2CHWWrite3(uint8_t address, uint8_t first, uint8_t second) {
  std::string meaning;
  if (address != 0xC0) {
    meaning = "no tuner at this address";
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
  Trace(Format("I2CHWWrite3(%02X, %02X, %02X) = 0", address, first, second).c_str(), meaning);
  return 0;
}

int32_t BTVID_32_CALL I2CHWRead(uint8_t address, uint8_t* value) {
  Card& card = TheCard();
  const int status = card.statuses[card.nextStatus];
  if (card.nextStatus + 1 < card.statuses.size()) {
    ++card.nextStatus;
  }
  if (status < 0 || address != 0xC0) {
    Trace(Format("I2CHWRead(%02X) = 1", address).c_str(), "read failed");
    return kReadFailed;
  }
  *value = static_cast<uint8_t>(status);
  Trace(Format("I2CHWRead(%02X) = 0 -> %02X", address, status).c_str(), DescribeStatus(status));
  return 0;
}

uint32_t BTVID_32_CALL GetGPOE(void) {
  Card& card = TheCard();
  Trace(Format("GetGPOE() = %08X", card.outputEnable).c_str());
  return card.outputEnable;
}

int32_t BTVID_32_CALL SetGPOE(uint32_t mask) {
  Card& card = TheCard();
  card.outputEnable = mask;
  Trace(Format("SetGPOE(%08X) = 0", mask).c_str(), "GPIO outputs " + PinRuns(mask) + " enabled");
  return 0;
}

int32_t BTVID_32_CALL SetGPDATABits(int32_t first_bit, int32_t last_bit, int32_t value,
                                    int32_t reserved) {
  Card& card = TheCard();
  if (first_bit >= 0 && last_bit < 32 && first_bit <= last_bit) {
    const uint32_t width = static_cast<uint32_t>(last_bit - first_bit + 1);
    const uint32_t field = width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1);
    card.pinData = (card.pinData & ~(field << first_bit)) |
                   ((static_cast<uint32_t>(value) & field) << first_bit);
  }
  Trace(Format("SetGPDATABits(%d, %d, %d, %d) = 0", first_bit, last_bit, value, reserved).c_str(),
        Format("data bits %d..%d = %d", first_bit, last_bit, value));
  return 0;
}

}  // extern "C"
