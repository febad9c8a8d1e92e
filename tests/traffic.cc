#include "tests/traffic.h"

#include <algorithm>
#include <cstdio>
#include <regex>

#include "app/faults.h"
#include "app/messages.h"
#include "platform/platform.h"

namespace traffic {
namespace {

std::string Hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

// A pattern that matches `text` as it stands.
std::string Literal(const std::string& text) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  return std::regex_replace(text, special, R"(\$&)");
}

}  // namespace

const Calls& SetUp() {
  static const Calls calls = {"I2CIsInitOK() = 1", "I2CInitHWMode(100000) = 0",
                              "GPIOIsInitOK() = 1", "SetGPIOMODE(0) = 0"};
  return calls;
}

Calls Pins(uint32_t enabledBefore, uint32_t enabledAfter, bool radio, int32_t result) {
  return {"GetGPOE() = " + Hex8(enabledBefore), "SetGPOE(" + Hex8(enabledAfter) + ") = 0",
          std::string("SetGPDATABits(9, 11, ") + (radio ? "2" : "6") +
              ", 0) = " + std::to_string(result)};
}

Calls Tuning(const std::string& divider, bool portBit0) {
  return {"I2CHWWrite3(C0, " + divider + ") = 0", "I2CHWRead(C0) = 0 -> 40",
          std::string("I2CHWWrite3(C0, 8E, ") + (portBit0 ? "A5" : "A4") + ") = 0",
          "I2CHWRead(C0) = 0 -> 40"};
}

const std::vector<uint32_t>& TuningWaits() {
  static const std::vector<uint32_t> waits = {30, 1};
  return waits;
}

Calls Tuned(const std::string& divider) {
  return Join({SetUp(), Tuning(divider), Pins()});
}

Calls Refused() {
  return Join({SetUp(), Pins()});
}

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

Message Box(const std::string& text) {
  return {messages::Caption, text, platform::MessageStyleOkCancel};
}

Message NoFrequency() {
  return Box(Literal(messages::NoFrequency));
}

Message InvalidFrequency() {
  return Box(Literal(messages::InvalidFrequency));
}

Message TunerRefused() {
  return Box(Literal(messages::TunerRefused));
}

Message Fatal(uint16_t code) {
  const std::string text = faults::ReportText({code, 0}).text;
  const size_t after = messages::FatalLocationAt + messages::FatalLocationDigits;
  return {messages::FatalCaption,
          Literal(text.substr(0, messages::FatalLocationAt)) + "[0-9A-F]{8}" +
              Literal(text.substr(after)),
          platform::MessageStyleOk};
}

Calls TracedCalls(const std::string& trace, std::vector<uint32_t>* timesMs) {
  // "btvid_32: CALL  meaning", or with the time column
  // "btvid_32:     30 ms  CALL  meaning". (Read by hand: the fuzzers read
  // every run's trace.)
  Calls calls;
  const std::string prefix = "btvid_32: ";
  const std::string unit = " ms  ";
  size_t start = 0;
  while (start < trace.size()) {
    size_t end = trace.find('\n', start);
    end = end == std::string::npos ? trace.size() : end;
    if (trace.compare(start, prefix.size(), prefix) == 0) {
      size_t at = start + prefix.size();
      size_t digits = trace.find_first_not_of(' ', at);
      size_t after = digits;
      while (after < end && trace[after] >= '0' && trace[after] <= '9') {
        ++after;
      }
      if (after > digits && after < end && trace.compare(after, unit.size(), unit) == 0) {
        if (timesMs != nullptr) {
          timesMs->push_back(
              static_cast<uint32_t>(std::stoul(trace.substr(digits, after - digits))));
        }
        at = after + unit.size();
      }
      const size_t meaning = trace.find("  ", at);
      calls.push_back(trace.substr(at, std::min(meaning, end) - at));
    }
    start = end + 1;
  }
  return calls;
}

namespace setting {

std::string Status(const std::string& list) {
  return "WAVRIX_SIM_STATUS=" + list;
}

std::string Gpoe(uint32_t mask) {
  return "WAVRIX_SIM_GPOE=" + Hex8(mask);
}

std::string GpdataResult(int32_t result) {
  return "WAVRIX_SIM_GPDATA_RESULT=" + std::to_string(result);
}

std::string ControlWord(const std::string& hex) {
  return "WAVRIX_SIM_CONTROL_WORD=" + hex;
}

std::string Driver(const std::string& traits) {
  return "WAVRIX_SIM_DRIVER=" + traits;
}

}  // namespace setting

}  // namespace traffic
