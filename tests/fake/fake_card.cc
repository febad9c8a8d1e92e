#include "tests/fake/fake_card.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "cardbus/btvid_32.h"
#include "platform/platform.h"

namespace fake {
namespace {

std::string Hex2(uint32_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", byte & 0xFF);
  return text;
}

void Record(std::string call) {
  TheCard().calls.push_back(std::move(call));
}

}  // namespace

Card& TheCard() {
  static Card card;
  return card;
}

void Reset() {
  TheCard() = Card{};
}

const std::vector<std::string>& SetUpCalls() {
  static const std::vector<std::string> calls = {"I2CIsInitOK()", "I2CInitHWMode(100000)",
                                                 "GPIOIsInitOK()", "SetGPIOMODE(0)"};
  return calls;
}

void LoadControlWord(uint16_t word) {
  __asm__ volatile("fldcw %0" : : "m"(word));
}

std::vector<std::string> CallsAfterSetUp() {
  const std::vector<std::string>& calls = TheCard().calls;
  const size_t setUp = std::min(calls.size(), SetUpCalls().size());
  return {calls.begin() + static_cast<std::ptrdiff_t>(setUp), calls.end()};
}

}  // namespace fake

extern "C" {

int32_t BTVID_32_CALL I2CIsInitOK(void) {
  fake::Record("I2CIsInitOK()");
  return 1;
}

int32_t BTVID_32_CALL I2CInitHWMode(int32_t bus_clock_hz) {
  fake::Record("I2CInitHWMode(" + std::to_string(bus_clock_hz) + ")");
  return 0;
}

int32_t BTVID_32_CALL GPIOIsInitOK(void) {
  fake::Record("GPIOIsInitOK()");
  return 1;
}

int32_t BTVID_32_CALL SetGPIOMODE(int32_t mode) {
  fake::Record("SetGPIOMODE(" + std::to_string(mode) + ")");
  if (const std::optional<uint16_t> word = fake::TheCard().setUpControlWord) {
    fake::LoadControlWord(*word);
  }
  return 0;
}

int32_t BTVID_32_CALL I2CHWWrite3(uint8_t address, uint8_t first, uint8_t second) {
  fake::Record("I2CHWWrite3(" + fake::Hex2(address) + "," + fake::Hex2(first) + "," +
               fake::Hex2(second) + ")");
  return 0;
}

int32_t BTVID_32_CALL I2CHWRead(uint8_t address, uint8_t* value) {
  fake::Record("I2CHWRead(" + fake::Hex2(address) + ")");
  fake::Read read{0, 0x40};
  std::deque<fake::Read>& reads = fake::TheCard().reads;
  if (!reads.empty()) {
    read = reads.front();
    reads.pop_front();
  }
  if ((read.result & 0xFF) != 1 || read.leavesByte) {
    *value = read.value;
  }
  return read.result;
}

uint32_t BTVID_32_CALL GetGPOE(void) {
  fake::Record("GetGPOE()");
  return fake::TheCard().outputEnable;
}

int32_t BTVID_32_CALL SetGPOE(uint32_t mask) {
  char text[32];
  std::snprintf(text, sizeof text, "SetGPOE(%08X)", mask);
  fake::Record(text);
  fake::TheCard().outputEnable = mask;
  return 0;
}

int32_t BTVID_32_CALL SetGPDATABits(int32_t first_bit, int32_t last_bit, int32_t value,
                                    int32_t reserved) {
  fake::Record("SetGPDATABits(" + std::to_string(first_bit) + "," + std::to_string(last_bit) + "," +
               std::to_string(value) + "," + std::to_string(reserved) + ")");
  return fake::TheCard().gpDataResult;
}

}  // extern "C"

namespace platform {

void ShowMessageBox(const char* caption, const char* text, uint32_t style) {
  fake::Record("Message(" + std::string(caption) + "|" + std::string(text) + "|" +
               std::to_string(style) + ")");
}

void SleepMilliseconds(uint32_t ms) {
  fake::Record("Sleep(" + std::to_string(ms) + ")");
  fake::TheCard().clockMs += ms;
}

uint32_t ImageOffset(const void* /*code*/) {
  return fake::FakeImageOffset;
}

}  // namespace platform
