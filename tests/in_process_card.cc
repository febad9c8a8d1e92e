#include "tests/in_process_card.h"

#include <cstring>

#include "platform/platform.h"
#include "simcard/card.h"

namespace in_process {
namespace {

struct State {
  std::vector<std::string> settings;
  std::string trace;
  std::string complaints;
  uint64_t clockMs = 0;
  std::vector<traffic::Message> messages;
  std::vector<size_t> callsBeforeMessage;
  std::vector<uint32_t> waits;
};

State& TheState() {
  static State state;
  return state;
}

bool HasSetting(const std::vector<std::string>& settings, const std::string& name) {
  for (const std::string& entry : settings) {
    if (entry.rfind(name + "=", 0) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

void Reset(const std::vector<std::string>& settings) {
  simcard::Reset();
  State& state = TheState();
  state = State{};
  state.settings = settings;
  // The trace is how the card's calls are seen, and its times are how the
  // waits fall between them.
  if (!HasSetting(settings, "WAVRIX_SIM_TRACE")) {
    state.settings.emplace_back("WAVRIX_SIM_TRACE=-");
  }
  if (!HasSetting(settings, "WAVRIX_SIM_TIME")) {
    state.settings.emplace_back("WAVRIX_SIM_TIME=1");
  }
}

traffic::Seen Seen() {
  const State& state = TheState();
  traffic::Seen seen;
  seen.messages = state.messages;
  seen.calls = traffic::TracedCalls(state.trace, &seen.callTimesMs);
  seen.waits = state.waits;
  seen.waitsSeen = true;
  seen.raw = state.trace + state.complaints;
  return seen;
}

std::vector<size_t> CallsBeforeEachMessage() {
  return TheState().callsBeforeMessage;
}

uint64_t NowMs() {
  return TheState().clockMs;
}

}  // namespace in_process

// The card's host, in this process: settings from the test, the virtual
// clock, the trace and complaints kept in memory.
namespace simcard::host {

const char* Env(const char* name) {
  const size_t length = std::strlen(name);
  for (const std::string& entry : in_process::TheState().settings) {
    if (entry.size() > length && entry.compare(0, length, name) == 0 && entry[length] == '=') {
      return entry.c_str() + length + 1;
    }
  }
  return nullptr;
}

uint32_t NowMs() {
  return static_cast<uint32_t>(in_process::TheState().clockMs);
}

void TraceToStandardError() {}

bool TraceToFile(const char* /*path*/) {
  return false;
}

void WriteTrace(const char* text, size_t length) {
  in_process::TheState().trace.append(text, length);
}

void WriteError(const char* text, size_t length) {
  in_process::TheState().complaints.append(text, length);
}

}  // namespace simcard::host

// The card library's nine operations, answered by the simulated card, as the
// card library itself does.
extern "C" {

#define BTVID_32_OPERATION(Result, Name, Parameters, Arguments) \
  Result Name Parameters {                                      \
    return simcard::Name Arguments;                             \
  }
#include "cardbus/btvid_32_operations.h"

}  // extern "C"

// The platform, recorded.
namespace platform {

void ShowMessageBox(const char* caption, const char* text, uint32_t style) {
  in_process::State& state = in_process::TheState();
  state.messages.push_back({caption, text, style});
  state.callsBeforeMessage.push_back(traffic::TracedCalls(state.trace).size());
}

void SleepMilliseconds(uint32_t ms) {
  in_process::TheState().waits.push_back(ms);
  in_process::TheState().clockMs += ms;
}

uint32_t ImageOffset(const void* /*code*/) {
  return in_process::ImageOffset;
}

}  // namespace platform
