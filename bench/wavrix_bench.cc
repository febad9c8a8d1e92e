// Micro-benchmarks of the work a run does on its argument: reading the
// longest argument there can be, and splitting the longest command line.
#include <string>

#include "app/command_line.h"
#include "app/decimal.h"
#include "benchmark/benchmark.h"

namespace {

// 4096 digits: the longest argument, all of it accumulated.
void BM_ParseDecimal4096Digits(benchmark::State& state) {
  std::string text(4096, '7');
  text[0] = '1';
  for (auto _ : state) {
    benchmark::DoNotOptimize(decimal::ParseDecimal(text));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseDecimal4096Digits);

// A 4096-character fraction with an exponent: accumulation, then all three
// scaling steps.
void BM_ParseDecimalFractionWithExponent(benchmark::State& state) {
  std::string text = "0." + std::string(4088, '3') + "e4000";
  text.resize(4096, '0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(decimal::ParseDecimal(text));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseDecimalFractionWithExponent);

// A 32,000-character command line split as the Windows program does it:
// counting the arguments, then taking the first.
void BM_SplitCommandLine32000(benchmark::State& state) {
  std::string line = "\"C:\\Program Files\\Wavrix\\wavrix.exe\" 98.5";
  while (line.size() < 32000) {
    line += " \"quoted argument\" plain" + std::string(40, 'x');
  }
  line.resize(32000);
  command_line::Token argument;
  for (auto _ : state) {
    benchmark::DoNotOptimize(command_line::CommandLineArgCount(line));
    command_line::CommandLineArg(line, 1, argument);
    benchmark::DoNotOptimize(argument);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_SplitCommandLine32000);

}  // namespace
