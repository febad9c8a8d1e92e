/* The yardstick for Wavrix's start-up: a plain C program bound to the same
   card library, which runs the card's bus set-up and writes one line to
   standard error, as `wavrix abc` does before it ends. */
#include <stdint.h>
#include <unistd.h>

#define BTVID_32_OPERATION(Result, Name, Parameters, Arguments) Result Name Parameters;
#include "cardbus/btvid_32_operations.h"

int main(void) {
  static const char line[] = "Yardstick: one line\n";
  I2CIsInitOK();
  I2CInitHWMode(100000);
  GPIOIsInitOK();
  SetGPIOMODE(0);
  return write(STDERR_FILENO, line, sizeof line - 1) == (ssize_t)(sizeof line - 1) ? 0 : 1;
}
