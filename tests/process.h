// Running a program as the end-to-end tests need: exact arguments, a chosen
// environment and working directory, standard output and error captured.
#ifndef WAVRIX_TESTS_PROCESS_H_
#define WAVRIX_TESTS_PROCESS_H_

#include <string>
#include <vector>

namespace testproc {

struct Result {
  int exitCode = -1;  ///< -1 when the program did not exit normally
  std::string out;
  std::string err;
};

/// Runs `argv` (argv[0] is the program, looked up in PATH) in `directory`, with the
/// current environment less every variable starting with "WAVRIX_SIM_", plus
/// `extraEnv` ("NAME=value" entries), and waits for it. Writes nothing in
/// `directory` itself: the output is caught in a folder of its own (tests/scratch.h).
Result Run(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
           const std::string& directory);

/// Runs `command` through the shell and gives what it wrote on standard
/// output (standard error is dropped); empty when it could not run.
std::string Capture(const std::string& command);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace testproc

#endif  // WAVRIX_TESTS_PROCESS_H_
