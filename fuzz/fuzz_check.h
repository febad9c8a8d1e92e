// A failed invariant in a fuzz target: say which, then stop so that libFuzzer
// records the input.
#ifndef WAVRIX_FUZZ_FUZZ_CHECK_H_
#define WAVRIX_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)

#endif  // WAVRIX_FUZZ_FUZZ_CHECK_H_
