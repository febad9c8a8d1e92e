#include "tests/fake/fake_card.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "cardbus/btvid_32.h"
#include "platform/platform.h"

namespace fake {
namespace {

// A bus byte in hex, from its whole 32-bit slot: upper bits that are not
// zero show, and the recorded call no longer matches.
std::string Hex2(uint32_t slot) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X", slot);
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

void FillX87Registers() {
  __asm__ volatile("fld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1");
}

std::vector<std::string> CallsAfterSetUp() {
  const std::vector<std::string>& calls = TheCard().calls;
  const size_t setUp = std::min(calls.size(), SetUpCalls().size());
  return {calls.begin() + static_cast<std::ptrdiff_t>(setUp), calls.end()};
}

}  // namespace fake

extern "C" {

int32_t I2CIsInitOK(void) {
  fake::Record("I2CIsInitOK()");
  return 1;
}

int32_t I2CInitHWMode(int32_t busClockHz) {
  fake::Record("I2CInitHWMode(" + std::to_string(busClockHz) + ")");
  return 0;
}

int32_t GPIOIsInitOK(void) {
  fake::Record("GPIOIsInitOK()");
  return 1;
}

int32_t SetGPIOMODE(int32_t mode) {
  fake::Record("SetGPIOMODE(" + std::to_string(mode) + ")");
  if (const std::optional<uint16_t> word = fake::TheCard().setUpControlWord) {
    fake::LoadControlWord(*word);
  }
  if (fake::TheCard().leavesX87Full) {
    fake::FillX87Registers();
  }
  return 0;
}

int32_t I2CHWWrite3(uint32_t address, uint32_t first, uint32_t second) {
  fake::Record("I2CHWWrite3(" + fake::Hex2(address) + "," + fake::Hex2(first) + "," +
               fake::Hex2(second) + ")");
  return 0;
}

int32_t I2CHWRead(uint32_t address, uint8_t* buffer) {
  fake::Record("I2CHWRead(" + fake::Hex2(address) + ")");
  fake::Read read{0, 0x40};
  std::deque<fake::Read>& reads = fake::TheCard().reads;
  if (!reads.empty()) {
    read = reads.front();
    reads.pop_front();
  }
  if ((read.result & 0xFF) != 1 || read.leavesByte) {
    buffer[0] = read.value;
    if (fake::TheCard().storesWholeWord) {
      // A driver that stores a word: the byte, then three more that are not 0.
      buffer[1] = 0xA5;
      buffer[2] = 0x5A;
      buffer[3] = 0xFF;
    }
  }
  return read.result;
}

uint32_t GetGPOE(void) {
  fake::Record("GetGPOE()");
  return fake::TheCard().outputEnable;
}

int32_t SetGPOE(uint32_t mask) {
  char text[32];
  std::snprintf(text, sizeof text, "SetGPOE(%08X)", mask);
  fake::Record(text);
  fake::TheCard().outputEnable = mask;
  return 0;
}

int32_t SetGPDATABits(int32_t firstBit, int32_t lastBit, int32_t value, int32_t reserved) {
  fake::Record("SetGPDATABits(" + std::to_string(firstBit) + "," + std::to_string(lastBit) + "," +
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
