// Times whole runs of a program: starts it again and again, with standard
// output and error sent to /dev/null, and reports the median wall time and
// the median CPU time (user + system) of a run.
//   run_timer RUNS PROGRAM [ARGUMENTS...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: run_timer RUNS PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  std::vector<double> wall;
  std::vector<double> cpu;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execv(argv[2], argv + 2);
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
      std::fprintf(stderr, "run_timer: %s did not run\n", argv[2]);
      return 1;
    }
    wall.push_back(std::chrono::duration<double>(end - start).count());
    cpu.push_back(Seconds(usage.ru_utime) + Seconds(usage.ru_stime));
  }
  std::printf("%.3f %.3f\n", Median(wall) * 1e3, Median(cpu) * 1e3);  // ms
  return 0;
}
