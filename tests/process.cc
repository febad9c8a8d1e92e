#include "tests/process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/scratch.h"

extern char** environ;

namespace testproc {

std::string Capture(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
      text.append(buffer, got);
    }
    pclose(pipe);
  }
  return text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

Result Run(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
           const std::string& directory) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("WAVRIX_SIM_", 0) != 0) {
      env.emplace_back(*e);
    }
  }
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> envp;
  for (std::string& e : env) {
    envp.push_back(e.data());
  }
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (std::string& a : args) {
    argp.push_back(a.data());
  }
  argp.push_back(nullptr);

  // What it writes is caught in a folder of its own, not among the files of
  // the folder it runs in, which may be shared or read by the test.
  const std::string caught = scratch::Folder();
  const std::string outPath = caught + "/out";
  const std::string errPath = caught + "/err";
  Result result;
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || chdir(directory.c_str()) != 0) {
      _exit(127);
    }
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execvpe(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  if (pid < 0) {
    scratch::Remove(caught);
    return result;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  scratch::Remove(caught);
  return result;
}

}  // namespace testproc
