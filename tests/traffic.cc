#include "tests/traffic.h"

#include <cstdio>
#include <regex>
#include <sstream>

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
  return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
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
  // "btvid_32:     30 ms  CALL  meaning".
  Calls calls;
  std::istringstream lines(trace);
  std::string line;
  const std::string prefix = "btvid_32: ";
  const std::regex timed(R"(^\s*(\d+) ms  )");
  std::smatch match;
  while (std::getline(lines, line)) {
    if (line.rfind(prefix, 0) == 0) {
      line = line.substr(prefix.size());
      if (std::regex_search(line, match, timed)) {
        if (timesMs != nullptr) {
          timesMs->push_back(static_cast<uint32_t>(std::stoul(match[1].str())));
        }
        line = match.suffix().str();
      }
      calls.push_back(line.substr(0, line.find("  ")));
    }
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
