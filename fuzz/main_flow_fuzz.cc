// The whole run against the simulated card in the same process, with its
// virtual clock. Input: one byte that says how many status answers follow
// (0..7), those answers (bit 7 set: the read fails; the last one repeats),
// then the argument; an empty input is a run without argument. Every run must
// end in exactly one of: tuned, one of the three messages, a fatal-error
// report 205 or 207; the card sees its bus set-up first and only then, and
// other traffic only on the paths that allow it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "app/frequency_command.h"
#include "fuzz/fuzz_check.h"
#include "tests/in_process_card.h"
#include "tests/traffic.h"

namespace {

using traffic::Calls;

// A whole tuning after the set-up: the divider pair, the status read, the
// preliminary pair when that read had bit 5, the final pair, polls until one
// has bit 6 (five at most), then the pins; each poll after 30 ms, the
// preliminary pair followed by 30 ms, and 1 ms at the end.
bool IsTuning(const Calls& calls, const std::vector<uint32_t>& waits, uint64_t clockMs) {
  static const std::regex divider(R"(I2CHWWrite3\(C0, ([0-9A-F]{2}), ([0-9A-F]{2})\) = 0)");
  static const std::regex read(R"(I2CHWRead\(C0\) = (1|0 -> ([0-9A-F]{2})))");
  // The status a read line gave the tuner: 0 for a failed read.
  auto status = [](const std::smatch& match) {
    return match[2].matched ? std::stoul(match[2].str(), nullptr, 16) : 0UL;
  };
  std::smatch match;
  size_t i = 0;
  if (i >= calls.size() || !std::regex_match(calls[i], match, divider)) {
    return false;
  }
  const unsigned long steps = std::stoul(match[1].str() + match[2].str(), nullptr, 16);
  if (steps < 1571 || steps > 1899) {
    return false;  // outside the band
  }
  ++i;
  if (i >= calls.size() || !std::regex_match(calls[i], match, read)) {
    return false;
  }
  ++i;
  std::vector<uint32_t> expectedWaits;
  if ((status(match) & 0x20) != 0) {
    if (i >= calls.size() || calls[i] != "I2CHWWrite3(C0, 8E, A1) = 0") {
      return false;
    }
    ++i;
    expectedWaits.push_back(30);
  }
  if (i >= calls.size() || calls[i] != "I2CHWWrite3(C0, 8E, A5) = 0") {
    return false;
  }
  ++i;
  for (int poll = 0; poll < 5; ++poll) {
    if (i >= calls.size() || !std::regex_match(calls[i], match, read)) {
      return false;
    }
    ++i;
    expectedWaits.push_back(30);
    if ((status(match) & 0x40) != 0) {
      break;
    }
  }
  expectedWaits.push_back(1);
  return Calls(calls.begin() + static_cast<ptrdiff_t>(i), calls.end()) == traffic::Pins() &&
         waits == expectedWaits && clockMs >= 31 && clockMs <= 181;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::optional<std::string> argument;
  std::string statuses;
  if (size > 0) {
    const size_t answers = data[0] % 8;
    size_t at = 1;
    for (; at < size && at <= answers; ++at) {
      char entry[8];
      std::snprintf(entry, sizeof entry, "%02X", data[at] & 0x7F);
      statuses +=
          (statuses.empty() ? "" : ",") + std::string((data[at] & 0x80) != 0 ? "fail" : entry);
    }
    // An argument never holds a zero byte and never passes 4096 characters.
    std::string text(reinterpret_cast<const char*>(data + at), size - at);
    argument = text.substr(0, std::min<size_t>(text.find('\0'), 4096));
  }
  in_process::Reset(statuses.empty()
                        ? std::vector<std::string>{}
                        : std::vector<std::string>{traffic::setting::Status(statuses)});

  const int exitCode = argument ? app::RunProgram(*argument) : app::RunProgram(std::nullopt);
  const traffic::Seen seen = in_process::Seen();
  // The bus set-up comes first, whole and in order, and never again.
  const Calls& setUp = traffic::SetUp();
  FUZZ_CHECK(seen.calls.size() >= setUp.size() &&
             std::equal(setUp.begin(), setUp.end(), seen.calls.begin()));
  const Calls calls(seen.calls.begin() + static_cast<ptrdiff_t>(setUp.size()), seen.calls.end());
  for (const std::string& call : calls) {
    FUZZ_CHECK(std::find(setUp.begin(), setUp.end(), call) == setUp.end());
  }
  // At most one box, and it comes before any traffic of the main flow.
  FUZZ_CHECK(seen.messages.size() <= 1);
  for (const size_t before : in_process::CallsBeforeEachMessage()) {
    FUZZ_CHECK(before == setUp.size());
  }
  auto shows = [&](const traffic::Message& box) {
    // Each pattern made once: the fuzzer runs this for every input.
    static std::map<std::string, std::regex> patterns;
    const std::regex& text = patterns.try_emplace(box.text, box.text).first->second;
    return seen.messages.size() == 1 && seen.messages[0].caption == box.caption &&
           seen.messages[0].style == box.style && std::regex_match(seen.messages[0].text, text);
  };

  if (!argument) {
    FUZZ_CHECK(shows(traffic::NoFrequency()) && calls.empty() && exitCode == 0);
  } else if (exitCode != 0) {
    FUZZ_CHECK(exitCode == 205 || exitCode == 207);
    FUZZ_CHECK(shows(traffic::Fatal(static_cast<uint16_t>(exitCode))) && calls.empty());
  } else if (shows(traffic::InvalidFrequency())) {
    FUZZ_CHECK(calls.empty());
  } else if (shows(traffic::TunerRefused())) {
    FUZZ_CHECK(calls == traffic::Pins() && seen.waits.empty());
  } else {
    FUZZ_CHECK(seen.messages.empty());
    FUZZ_CHECK(IsTuning(calls, seen.waits, in_process::NowMs()));
  }
  return 0;
}
