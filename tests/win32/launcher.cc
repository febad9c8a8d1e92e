// Starts a program with an exact command line. Wine and shells re-quote the
// arguments they pass on, so the command line is read from a file, byte for
// byte, and handed to CreateProcessA as it stands.
//
//   launcher PROGRAM COMMAND-LINE-FILE
//
// Tells the started process's id on standard error ("launcher: process 00fc"),
// so that a log of several processes can be read for this one alone. Exits
// with the program's exit code, or 255 when it could not be started.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: launcher PROGRAM COMMAND-LINE-FILE\n");
    return 255;
  }
  std::FILE* file = std::fopen(argv[2], "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "launcher: cannot read %s\n", argv[2]);
    return 255;
  }
  std::string line;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    line.append(buffer, got);
  }
  std::fclose(file);

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(argv[1], line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "launcher: cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 255;
  }
  std::fprintf(stderr, "launcher: process %04lx\n", process.dwProcessId);
  std::fflush(stderr);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 255;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}
