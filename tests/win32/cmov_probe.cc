// A program of a few lines for the exe runner's own test: built for the i686,
// the compiler makes its one choice with a CMOV, which an i486 or a Pentium
// does not have. It ends with the larger of 3 and 7.
#include <windows.h>

extern "C" [[noreturn]] void ProbeStart() {
  // volatile: the compiler must choose at run time.
  volatile int a = 3;
  volatile int b = 7;
  const int x = a;
  const int y = b;
  ExitProcess(static_cast<UINT>(x > y ? x : y));
}
