// Times whole runs of programs: starts each again and again, taking turns so
// that the machine's drift falls on all of them alike, with standard output
// and error sent to /dev/null. Prints, per program, the median wall time and
// the median CPU time (user + system) of a run, in milliseconds.
//   run_timer RUNS PROGRAM [ARGUMENTS...] [-- PROGRAM [ARGUMENTS...]]...
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Program {
  std::vector<char*> argv;
  std::vector<double> wall;
  std::vector<double> cpu;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// One run; false when the program could not be started.
bool RunOnce(Program& program) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execv(program.argv[0], program.argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
    return false;
  }
  program.wall.push_back(std::chrono::duration<double>(end - start).count());
  program.cpu.push_back(Seconds(usage.ru_utime) + Seconds(usage.ru_stime));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: run_timer RUNS PROGRAM [ARGUMENTS...] [-- PROGRAM ...]...\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  std::vector<Program> programs(1);
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) {
      programs.emplace_back();
    } else {
      programs.back().argv.push_back(argv[i]);
    }
  }
  for (Program& program : programs) {
    program.argv.push_back(nullptr);
  }
  for (int run = 0; run < runs; ++run) {
    for (Program& program : programs) {
      if (!RunOnce(program)) {
        std::fprintf(stderr, "run_timer: %s did not run\n", program.argv[0]);
        return 1;
      }
    }
  }
  for (const Program& program : programs) {
    std::printf("%.3f %.3f\n", Median(program.wall) * 1e3, Median(program.cpu) * 1e3);
  }
  return 0;
}
