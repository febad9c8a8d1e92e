#include "simcard/card.h"

#include <stddef.h>  // NOLINT(modernize-deprecated-headers): freestanding builds
#include <stdint.h>  // NOLINT(modernize-deprecated-headers)

#include "simcard/text.h"

namespace simcard {
namespace {

constexpr int32_t kReadFailed = 1;
constexpr int kStatusLocked = 0x40;
constexpr int kStatusWantsPreliminary = 0x20;
constexpr uint8_t kTunerAddress = 0xC0;
constexpr size_t kMaxStatuses = 64;

// What one status read answers.
struct StatusRead {
  uint8_t status = 0;  // the byte read; for a failed read, what it leaves behind
  bool fails = false;
  bool leavesByte = false;  // a failed read that still writes `status` to the buffer
  int32_t result = 0;       // what the library returns: 0, or 1 for a failed read
};

struct Card {
  bool configured = false;
  bool tracing = false;
  bool timed = false;
  uint32_t startMs = 0;
  StatusRead statuses[kMaxStatuses] = {};
  size_t statusCount = 0;
  size_t nextStatus = 0;
  uint32_t outputEnable = 0;
  int32_t pinsResult = 0;  // what SetGPDATABits returns
  bool setsControlWord = false;
  uint32_t controlWord = 0;  // the x87 control word every call leaves behind
  // How the driver was built (WAVRIX_SIM_DRIVER).
  bool storesWord = false;
  bool readsWholeBytes = false;
  bool leavesX87Full = false;
};

// The card's state lives as long as the library (or the runner) is loaded.
// Constant-initialised: the runner has no start-up code to run constructors.
constinit Card card;

// One trace line, or a piece of one.
using Line = Text<192>;

Line LineOf(const char* text) {
  Line line;
  Add(line, text);
  return line;
}

bool IsHexDigit(char ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

uint32_t HexDigitValue(char ch) {
  return static_cast<uint32_t>(ch <= '9' ? ch - '0' : (ch | 0x20) - 'a' + 10);
}

// Reads `length` characters of hex digits into `value`; false when they are
// none, anything but hex digits, or more than `max`.
bool ReadHex(const char* text, size_t length, uint32_t max, uint32_t& value) {
  uint32_t result = 0;
  for (size_t i = 0; i < length; ++i) {
    if (!IsHexDigit(text[i]) || result > (max >> 4)) {
      return false;
    }
    result = result << 4 | HexDigitValue(text[i]);
  }
  if (length == 0 || result > max) {
    return false;
  }
  value = result;
  return true;
}

// Reads `length` characters of a signed decimal 32-bit number into `value`;
// false when they are anything else or out of range.
bool ReadSigned(const char* text, size_t length, int32_t& value) {
  const bool negative = length > 0 && text[0] == '-';
  const size_t first = negative ? 1 : 0;
  const uint32_t limit = negative ? 0x80000000U : 0x7FFFFFFFU;
  uint32_t magnitude = 0;
  for (size_t i = first; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9' || magnitude > (limit - (text[i] - '0')) / 10) {
      return false;
    }
    magnitude = magnitude * 10 + static_cast<uint32_t>(text[i] - '0');
  }
  if (length == first) {
    return false;
  }
  value = static_cast<int32_t>(negative ? 0U - magnitude : magnitude);
  return true;
}

void Complain(const char* what, const char* text, size_t length) {
  Line line;
  Add(line, "simulated card: ");
  Add(line, what);
  Add(line, text, length);
  Add(line, "\n");
  host::WriteError(line.text, line.length);
}

// The same for one entry of a comma-separated list, quoted.
void ComplainOfEntry(const char* what, const char* entry, size_t length) {
  Line quoted;
  Add(quoted, "'");
  Add(quoted, entry, length);
  Add(quoted, "'");
  Complain(what, quoted.text, quoted.length);
}

// The length of the list entry at `item`, up to the next comma or the end.
size_t EntryLength(const char* item) {
  size_t length = 0;
  while (item[length] != '\0' && item[length] != ',') {
    ++length;
  }
  return length;
}

// Whether `text` begins with all of the zero-terminated `prefix`.
bool StartsWith(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    if (*text != *prefix) {
      return false;
    }
  }
  return true;
}

bool StartsWithFail(const char* text, size_t length) {
  return length >= 4 && StartsWith(text, "fail");
}

// Reads one entry of the status script: "40", "fail" or "fail:60", perhaps
// followed by "=RESULT", the library's result in decimal in place of the
// usual 0 (or 1 for a failed read). False when it is none of these.
bool ReadStatusEntry(const char* item, size_t length, StatusRead& read) {
  size_t readLength = 0;
  while (readLength < length && item[readLength] != '=') {
    ++readLength;
  }
  uint32_t value = 0;
  if (readLength == 4 && StartsWithFail(item, readLength)) {
    read = StatusRead{0, true, false, 1};
  } else if (readLength > 5 && StartsWithFail(item, readLength) && item[4] == ':' &&
             ReadHex(item + 5, readLength - 5, 0xFF, value)) {
    read = StatusRead{static_cast<uint8_t>(value), true, true, 1};
  } else if (ReadHex(item, readLength, 0xFF, value)) {
    read = StatusRead{static_cast<uint8_t>(value), false, false, 0};
  } else {
    return false;
  }
  return readLength == length ||
         ReadSigned(item + readLength + 1, length - readLength - 1, read.result);
}

// Reads "40,20,fail,fail:60,40=256" into the status script; a bad entry is
// reported and left out.
void ParseStatuses(const char* list) {
  const char* item = list;
  while (card.statusCount < kMaxStatuses) {
    const size_t length = EntryLength(item);
    if (ReadStatusEntry(item, length, card.statuses[card.statusCount])) {
      ++card.statusCount;
    } else {
      ComplainOfEntry("ignoring status entry ", item, length);
    }
    if (item[length] == '\0') {
      break;
    }
    item += length + 1;
  }
}

// What a driver may do beyond the bare promise of its operations
// (WAVRIX_SIM_DRIVER), and how the trace says it.
struct Trait {
  const char* name;
  bool Card::*flag;
  const char* said;
};
constexpr Trait kTraits[] = {
    {"stores-word", &Card::storesWord, "stores a whole word for each byte it reads"},
    {"reads-whole-bytes", &Card::readsWholeBytes, "reads byte arguments as whole 32-bit slots"},
    {"leaves-x87-full", &Card::leavesX87Full,
     "leaves all eight x87 registers in use after every call"},
};

// Reads "stores-word,leaves-x87-full" into the driver's traits; an entry it
// does not know is reported and left out.
void ParseDriver(const char* list) {
  const char* item = list;
  for (;;) {
    const size_t length = EntryLength(item);
    bool known = false;
    for (const Trait& trait : kTraits) {
      if (Length(trait.name) == length && StartsWith(item, trait.name)) {
        card.*trait.flag = true;
        known = true;
      }
    }
    if (!known) {
      ComplainOfEntry("ignoring WAVRIX_SIM_DRIVER entry ", item, length);
    }
    if (item[length] == '\0') {
      break;
    }
    item += length + 1;
  }
}

// One line at the head of the trace, not a call, naming what this driver
// does beyond its bare promise.
void TraceDriver() {
  Line line = LineOf("simulated card: the driver ");
  const size_t bare = line.length;
  for (const Trait& trait : kTraits) {
    if (card.*trait.flag) {
      Add(line, line.length == bare ? "" : ", ");
      Add(line, trait.said);
    }
  }
  if (card.setsControlWord) {
    Add(line, line.length == bare ? "" : ", ");
    Add(line, "leaves the x87 control word at ");
    AddHex(line, card.controlWord, 4);
    Add(line, " after every call");
  }
  if (line.length != bare) {
    AddChar(line, '\n');
    host::WriteTrace(line.text, line.length);
  }
}

// Reads the environment at the first call, as a driver would set up the card.
void Configure() {
  if (card.configured) {
    return;
  }
  card.configured = true;
  card.startMs = host::NowMs();
  if (const char* trace = host::Env("WAVRIX_SIM_TRACE")) {
    if (Equals(trace, "stderr") || Equals(trace, "-")) {
      host::TraceToStandardError();
      card.tracing = true;
    } else if (host::TraceToFile(trace)) {
      card.tracing = true;
    } else {
      Complain("cannot write trace to ", trace, Length(trace));
    }
  }
  if (const char* timed = host::Env("WAVRIX_SIM_TIME")) {
    card.timed = Equals(timed, "1");
    if (!card.timed && !Equals(timed, "0")) {
      Complain("ignoring WAVRIX_SIM_TIME ", timed, Length(timed));
    }
  }
  if (const char* statuses = host::Env("WAVRIX_SIM_STATUS")) {
    ParseStatuses(statuses);
  }
  if (card.statusCount == 0) {
    card.statuses[card.statusCount++] = StatusRead{kStatusLocked, false, false};
  }
  if (const char* mask = host::Env("WAVRIX_SIM_GPOE")) {
    if (!ReadHex(mask, Length(mask), 0xFFFFFFFFU, card.outputEnable)) {
      Complain("ignoring WAVRIX_SIM_GPOE ", mask, Length(mask));
    }
  }
  if (const char* driver = host::Env("WAVRIX_SIM_DRIVER")) {
    ParseDriver(driver);
  }
  if (const char* word = host::Env("WAVRIX_SIM_CONTROL_WORD")) {
    card.setsControlWord = ReadHex(word, Length(word), 0xFFFF, card.controlWord);
    if (!card.setsControlWord) {
      Complain("ignoring WAVRIX_SIM_CONTROL_WORD ", word, Length(word));
    }
  }
  if (const char* result = host::Env("WAVRIX_SIM_GPDATA_RESULT")) {
    if (!ReadSigned(result, Length(result), card.pinsResult)) {
      Complain("ignoring WAVRIX_SIM_GPDATA_RESULT ", result, Length(result));
    }
  }
  if (card.tracing) {
    TraceDriver();
  }
}

// What this driver leaves in the x87 as any call returns: another control
// word, as drivers that set the unit to their own liking do (the caller then
// runs at another precision), and all eight registers in use, as MMX code
// that forgot EMMS, or code that pushed and never popped, does (the caller's
// next load overflows the register stack).
void LeaveX87() {
  if (card.setsControlWord) {
    const auto word = static_cast<uint16_t>(card.controlWord);
    __asm__ volatile("fldcw %0" : : "m"(word));
  }
  if (card.leavesX87Full) {
    __asm__ volatile("fld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1");
  }
}

// Every operation returns through here, so that the x87 is left as this
// driver leaves it after each call.
template <typename T>
T Return(T result) {
  LeaveX87();
  return result;
}

// One trace line: the call as made, then what it meant to the card.
void Trace(const Line& call, const Line& meaning = Line{}) {
  Configure();
  if (!card.tracing) {
    return;
  }
  Line line;
  Add(line, "btvid_32: ");
  if (card.timed) {
    AddUnsigned(line, host::NowMs() - card.startMs, 6);
    Add(line, " ms  ");
  }
  Add(line, call.text, call.length);
  if (meaning.length != 0) {
    // The meaning in a column of its own, at least two blanks after the call.
    const size_t width = call.length < 31 ? 32 : call.length + 1;
    for (size_t pad = call.length; pad <= width; ++pad) {
      AddChar(line, ' ');
    }
    Add(line, meaning.text, meaning.length);
  }
  // The newline always fits: the longest call and meaning leave room.
  if (line.length == sizeof line.text) {
    --line.length;
  }
  AddChar(line, '\n');
  host::WriteTrace(line.text, line.length);
}

// "I2CHWWrite3(C0, 06, D3) = 0": a call with byte arguments in hex. A value
// beyond a byte (one read whole from its slot) shows all eight digits.
Line HexCall(const char* name, const uint32_t* bytes, size_t count) {
  Line line = LineOf(name);
  AddChar(line, '(');
  for (size_t i = 0; i < count; ++i) {
    Add(line, i == 0 ? "" : ", ");
    AddHex(line, bytes[i], bytes[i] > 0xFF ? 8 : 2);
  }
  AddChar(line, ')');
  return line;
}

// A byte argument as this driver reads it: its low 8 bits, or, for one that
// reads the slot whole, all 32.
uint32_t ByteArgument(uint32_t slot) {
  return card.readsWholeBytes ? slot : slot & 0xFF;
}

// "8-11" or "0, 8-11": the enabled outputs as runs of pin numbers.
void AddPinRuns(Line& line, uint32_t mask) {
  if (mask == 0) {
    Add(line, "none");
    return;
  }
  bool first = true;
  for (int pin = 0; pin < 32;) {
    if ((mask >> pin & 1U) == 0) {
      ++pin;
      continue;
    }
    int last = pin;
    while (last + 1 < 32 && (mask >> (last + 1) & 1U) != 0) {
      ++last;
    }
    Add(line, first ? "" : ", ");
    AddDecimal(line, pin);
    if (last != pin) {
      AddChar(line, '-');
      AddDecimal(line, last);
    }
    first = false;
    pin = last + 1;
  }
}

// "98.425 MHz channel": a channel of the 50 kHz broadcast raster, numbered
// by its frequency in kHz.
void AddChannel(Line& line, int32_t channelKhz) {
  AddFixed(line, channelKhz, 3);
  Add(line, " MHz channel");
}

// What a write of two bytes told the tuner.
Line DescribeWrite(uint32_t address, uint32_t first, uint32_t second) {
  Line meaning;
  if (address != kTunerAddress) {
    Add(meaning, "no tuner at this address");
  } else if (first > 0xFF || second > 0xFF) {
    Add(meaning, "not a byte");
  } else if ((first & 0x80) != 0) {
    // A first byte with bit 7 set is the tuner's control byte.
    Add(meaning, "control ");
    AddHex(meaning, first, 2);
    Add(meaning, ", port byte ");
    AddHex(meaning, second, 2);
  } else {
    // The oscillator runs 10.7 MHz above the station, in 62.5 kHz steps, so
    // the station really tuned is the oscillator less 10.7 MHz, exactly. The
    // steps fall on the 50 kHz broadcast raster only one time in four; the
    // others are 12.5 kHz off a channel or midway between two. A 15-bit
    // divider keeps every figure within 32 bits.
    const auto divider = static_cast<int32_t>(first << 8 | second);
    const int32_t tunedHz = divider * 62500 - 10700000;
    const int32_t rasterHz = 50000;
    // The channel at or below, rounding toward minus infinity.
    const int32_t below = (tunedHz >= 0 ? tunedHz : tunedHz - (rasterHz - 1)) / rasterHz;
    const int32_t offsetHz = tunedHz - below * rasterHz;  // 0, 12500, 25000 or 37500
    Add(meaning, "divider ");
    AddDecimal(meaning, divider);
    Add(meaning, " -> ");
    AddFixed(meaning, tunedHz / 100, 4);  // hundreds of Hz, shown in MHz
    Add(meaning, " MHz, ");
    if (offsetHz == 0) {
      Add(meaning, "on the ");
      AddChannel(meaning, below * 50);
    } else if (offsetHz * 2 == rasterHz) {
      Add(meaning, "midway between the ");
      AddFixed(meaning, below * 50, 3);
      Add(meaning, " and ");
      AddChannel(meaning, (below + 1) * 50);
      Add(meaning, "s");
    } else {
      const bool above = offsetHz * 2 < rasterHz;
      // hundreds of Hz, shown in kHz
      AddFixed(meaning, (above ? offsetHz : rasterHz - offsetHz) / 100, 1);
      Add(meaning, above ? " kHz above the " : " kHz below the ");
      AddChannel(meaning, (above ? below : below + 1) * 50);
    }
    Add(meaning, " (oscillator ");
    AddFixed(meaning, divider * 625, 4);  // hundreds of Hz, shown in MHz
    Add(meaning, " MHz)");
  }
  return meaning;
}

Line DescribeStatus(int status) {
  Line meaning = LineOf("status ");
  AddHex(meaning, static_cast<uint32_t>(status), 2);
  Add(meaning, (status & kStatusLocked) != 0 ? ", PLL locked" : "");
  Add(meaning, (status & kStatusWantsPreliminary) != 0 ? ", bit 5 set" : "");
  return meaning;
}

}  // namespace

void Reset() {
  card = Card{};
}

int32_t I2CIsInitOK() {
  Trace(LineOf("I2CIsInitOK() = 1"));
  return Return(1);
}

int32_t I2CInitHWMode(int32_t busClockHz) {
  Line call = LineOf("I2CInitHWMode(");
  AddDecimal(call, busClockHz);
  Add(call, ") = 0");
  Line meaning = LineOf("I2C bus at ");
  AddDecimal(meaning, busClockHz);
  Add(meaning, " Hz");
  Trace(call, meaning);
  return Return(0);
}

int32_t GPIOIsInitOK() {
  Trace(LineOf("GPIOIsInitOK() = 1"));
  return Return(1);
}

int32_t SetGPIOMODE(int32_t mode) {
  Line call = LineOf("SetGPIOMODE(");
  AddDecimal(call, mode);
  Add(call, ") = 0");
  Trace(call);
  return Return(0);
}

int32_t I2CHWWrite3(uint32_t address, uint32_t first, uint32_t second) {
  Configure();
  const uint32_t bytes[] = {ByteArgument(address), ByteArgument(first), ByteArgument(second)};
  Line call = HexCall("I2CHWWrite3", bytes, 3);
  Add(call, " = 0");
  Trace(call, DescribeWrite(bytes[0], bytes[1], bytes[2]));
  return Return(0);
}

namespace {

// Stores the byte read, and for a driver that stores a whole word, three
// more bytes after it.
void StoreRead(uint8_t* buffer, uint8_t value) {
  buffer[0] = value;
  if (card.storesWord) {
    buffer[1] = 0xA5;
    buffer[2] = 0x5A;
    buffer[3] = 0xFF;
  }
}

}  // namespace

int32_t I2CHWRead(uint32_t address, uint8_t* buffer) {
  Configure();
  const uint32_t device = ByteArgument(address);
  const StatusRead read = card.statuses[card.nextStatus];
  if (card.nextStatus + 1 < card.statusCount) {
    ++card.nextStatus;
  }
  Line call = HexCall("I2CHWRead", &device, 1);
  Add(call, " = ");
  if (read.fails || device != kTunerAddress) {
    Line meaning = LineOf("read failed");
    if (read.leavesByte && device == kTunerAddress) {
      // A failed transfer may still have clocked part of a byte in.
      StoreRead(buffer, read.status);
      Add(meaning, ", ");
      AddHex(meaning, read.status, 2);
      Add(meaning, " left in the buffer");
    }
    const int32_t result = device == kTunerAddress ? read.result : kReadFailed;
    AddDecimal(call, result);
    Trace(call, meaning);
    return Return(result);
  }
  StoreRead(buffer, read.status);
  AddDecimal(call, read.result);
  Add(call, " -> ");
  AddHex(call, read.status, 2);
  Line meaning = DescribeStatus(read.status);
  if (card.storesWord) {
    Add(meaning, ", stored as a word: ");
    for (size_t i = 0; i < 4; ++i) {
      Add(meaning, i == 0 ? "" : " ");
      AddHex(meaning, buffer[i], 2);
    }
  }
  Trace(call, meaning);
  return Return(read.result);
}

uint32_t GetGPOE() {
  Configure();
  Line call = LineOf("GetGPOE() = ");
  AddHex(call, card.outputEnable, 8);
  Trace(call);
  return Return(card.outputEnable);
}

int32_t SetGPOE(uint32_t mask) {
  Configure();
  card.outputEnable = mask;
  Line call = LineOf("SetGPOE(");
  AddHex(call, mask, 8);
  Add(call, ") = 0");
  Line meaning = LineOf("GPIO outputs ");
  AddPinRuns(meaning, mask);
  Add(meaning, " enabled");
  Trace(call, meaning);
  return Return(0);
}

int32_t SetGPDATABits(int32_t firstBit, int32_t lastBit, int32_t value, int32_t reserved) {
  Configure();
  Line call = LineOf("SetGPDATABits(");
  const int32_t arguments[] = {firstBit, lastBit, value, reserved};
  for (size_t i = 0; i < 4; ++i) {
    Add(call, i == 0 ? "" : ", ");
    AddDecimal(call, arguments[i]);
  }
  Add(call, ") = ");
  AddDecimal(call, card.pinsResult);
  Line meaning = LineOf("data bits ");
  AddDecimal(meaning, firstBit);
  Add(meaning, "..");
  AddDecimal(meaning, lastBit);
  Add(meaning, " = ");
  AddDecimal(meaning, value);
  Trace(call, meaning);
  return Return(card.pinsResult);
}

}  // namespace simcard
