/* The yardstick for Wavrix's start-up: a plain C program bound to the same
   card library, which runs the card's bus set-up and writes one line to
   standard error, as `wavrix abc` does before it ends. */
#include <stdint.h>
#include <unistd.h>

int32_t I2CIsInitOK(void);
int32_t I2CInitHWMode(int32_t bus_clock_hz);
int32_t GPIOIsInitOK(void);
int32_t SetGPIOMODE(int32_t mode);

int main(void) {
  static const char line[] = "Yardstick: one line\n";
  I2CIsInitOK();
  I2CInitHWMode(100000);
  GPIOIsInitOK();
  SetGPIOMODE(0);
  return write(STDERR_FILENO, line, sizeof line - 1) == (ssize_t)(sizeof line - 1) ? 0 : 1;
}
