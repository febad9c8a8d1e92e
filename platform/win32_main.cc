// Entry point on Windows. The program opens no window; it reads its command
// line as one string and splits it by its own rules.
#include <windows.h>

#include <optional>
#include <string>

#include "app/command_line.h"
#include "app/frequency_command.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string_view line = GetCommandLineA();
  std::optional<std::string> argument;
  if (command_line::CommandLineArgCount(line) >= 1) {
    argument = command_line::CommandLineArg(line, 1);
  }
  return app::RunProgram(argument);
}
