// Entry point on Windows. There is no C runtime: the loader starts the program
// here, with nothing set up. The program opens no window; it reads its command
// line as one string, splits it by its own rules, and ends the process itself.
#include <optional>
#include <string_view>

#include "app/command_line.h"
#include "app/frequency_command.h"
#include "platform/platform.h"

// Windows 9x and NT start a program with a stack aligned to 4 bytes only; the
// attribute realigns it for the compiler's own assumptions.
extern "C" [[noreturn, gnu::force_align_arg_pointer]] void WavrixStart() {
  const std::string_view line = platform::CommandLine();
  std::optional<std::string_view> argument;
  command_line::Token token;
  if (command_line::CommandLineArgCount(line) >= 1) {
    command_line::CommandLineArg(line, 1, token);
    argument = token.Text();
  }
  platform::ExitProcessWith(static_cast<uint32_t>(app::RunProgram(argument)));
}
