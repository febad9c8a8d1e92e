// The whole run against the recording fake card and virtual clock. Input:
// one byte that says how many status answers follow (0..7), those answers
// (bit 7 set: the read fails), then the argument; an empty input is a run
// without argument. Every run must end in exactly one of: tuned, one of the
// three messages, a fatal-error report 205 or 207; the card sees its bus
// set-up first and only then, and other traffic only on the paths that allow
// it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/frequency_command.h"
#include "fuzz/fuzz_check.h"
#include "tests/fake/fake_card.h"

namespace {

using Calls = std::vector<std::string>;

const Calls kPins = {"GetGPOE()", "SetGPOE(00000F00)", "SetGPDATABits(9,11,2,0)"};

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

// A whole tuning: the divider pair, the status read, perhaps the preliminary
// pair and its wait, the final pair, one to five polls, the last wait.
bool IsTuning(const Calls& calls, uint64_t clockMs) {
  size_t i = 0;
  auto next = [&](const std::string& call) { return i < calls.size() && calls[i] == call; };
  if (i >= calls.size() || !StartsWith(calls[i], "I2CHWWrite3(C0,0")) {
    return false;  // a divider's first byte is below 0x10 in the band
  }
  const unsigned divider = std::stoul(calls[i].substr(15, 2) + calls[i].substr(18, 2), nullptr, 16);
  if (divider < 1571 || divider > 1899) {
    return false;
  }
  ++i;
  if (!next("I2CHWRead(C0)")) {
    return false;
  }
  ++i;
  if (next("I2CHWWrite3(C0,8E,A1)")) {
    if (calls.size() < i + 2 || calls[i + 1] != "Sleep(30)") {
      return false;
    }
    i += 2;
  }
  if (!next("I2CHWWrite3(C0,8E,A5)")) {
    return false;
  }
  ++i;
  int polls = 0;
  while (next("Sleep(30)") && i + 1 < calls.size() && calls[i + 1] == "I2CHWRead(C0)") {
    i += 2;
    ++polls;
  }
  if (polls < 1 || polls > 5 || !next("Sleep(1)")) {
    return false;
  }
  ++i;
  return Calls(calls.begin() + static_cast<ptrdiff_t>(i), calls.end()) == kPins && clockMs >= 31 &&
         clockMs <= 181;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fake::Reset();
  std::optional<std::string> argument;
  if (size > 0) {
    const size_t answers = data[0] % 8;
    size_t at = 1;
    for (; at < size && at <= answers; ++at) {
      const bool fails = (data[at] & 0x80) != 0;
      fake::TheCard().reads.push_back({fails ? 1 : 0, static_cast<uint8_t>(data[at] & 0x7F)});
    }
    // An argument never holds a zero byte and never passes 4096 characters.
    std::string text(reinterpret_cast<const char*>(data + at), size - at);
    argument = text.substr(0, std::min<size_t>(text.find('\0'), 4096));
  }

  const int exitCode = argument ? app::RunProgram(*argument) : app::RunProgram(std::nullopt);
  // The bus set-up comes first, whole and in order, and never again.
  const Calls& all = fake::TheCard().calls;
  const Calls& setUp = fake::SetUpCalls();
  FUZZ_CHECK(all.size() >= setUp.size() && std::equal(setUp.begin(), setUp.end(), all.begin()));
  const Calls calls = fake::CallsAfterSetUp();
  for (const std::string& call : calls) {
    FUZZ_CHECK(std::find(setUp.begin(), setUp.end(), call) == setUp.end());
  }
  const std::string box = "Message(Wavrix error|";

  if (!argument) {
    FUZZ_CHECK(calls == Calls{box + "No frequency parameter|1)"});
    FUZZ_CHECK(exitCode == 0);
  } else if (!calls.empty() && StartsWith(calls[0], "Message(Error|Runtime error ")) {
    FUZZ_CHECK(calls.size() == 1);
    FUZZ_CHECK(exitCode == 205 || exitCode == 207);
    FUZZ_CHECK(calls[0] ==
               "Message(Error|Runtime error " + std::to_string(exitCode) + " at 0040A1B4|0)");
  } else if (!calls.empty() && calls[0] == box + "Invalid frequency parameter|1)") {
    FUZZ_CHECK(calls.size() == 1);
    FUZZ_CHECK(exitCode == 0);
  } else if (!calls.empty() && calls[0] == box + "Unable to set tuner (frequency?)|1)") {
    FUZZ_CHECK(Calls(calls.begin() + 1, calls.end()) == kPins);
    FUZZ_CHECK(exitCode == 0);
  } else {
    FUZZ_CHECK(IsTuning(calls, fake::TheCard().clockMs));
    FUZZ_CHECK(exitCode == 0);
  }
  return 0;
}
