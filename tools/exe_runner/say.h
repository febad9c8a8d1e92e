// The runner's own lines on standard error, "runner: ..." so that they stand
// apart from the simulated card's trace.
#ifndef WAVRIX_TOOLS_EXE_RUNNER_SAY_H_
#define WAVRIX_TOOLS_EXE_RUNNER_SAY_H_

#include "simcard/text.h"
#include "tools/exe_runner/linux_i386.h"

namespace say {

/// A line of the runner's; long enough for a message box's text in full.
using Line = simcard::Text<8192>;

/// A new line, "runner: " already in it.
inline Line Start() {
  Line line;
  simcard::Add(line, "runner: ");
  return line;
}

/// Ends `line` and writes it out.
inline void Emit(Line& line) {
  if (line.length == sizeof line.text) {
    --line.length;
  }
  simcard::AddChar(line, '\n');
  linux_i386::WriteAll(linux_i386::StandardError, line.text, line.length);
}

/// Writes "runner: " and the pieces as one line.
inline void Say(const char* a, const char* b = "", const char* c = "", const char* d = "") {
  Line line = Start();
  const char* const pieces[] = {a, b, c, d};
  for (const char* piece : pieces) {
    simcard::Add(line, piece);
  }
  Emit(line);
}

}  // namespace say

#endif  // WAVRIX_TOOLS_EXE_RUNNER_SAY_H_
