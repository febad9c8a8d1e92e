#include <linux/prctl.h>
#include <sys/prctl.h>
#include <time.h>  // NOLINT(modernize-deprecated-headers): POSIX's nanosleep
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// Start of the executable's image, placed by the linker; with a
// position-independent executable it moves with the image.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the linker's name
extern "C" const char __executable_start[];

namespace platform {
namespace {

// Appends the zero-terminated `text` to `line`, as far as it fits.
size_t Append(char* line, size_t used, size_t capacity, const char* text) {
  for (; *text != '\0' && used < capacity; ++text) {
    line[used++] = *text;
  }
  return used;
}

}  // namespace

void ShowMessageBox(const char* caption, const char* text, uint32_t /*style*/) {
  // There is no window to pop up, so the box becomes one line on stderr;
  // written in one call so that lines from other processes cannot split it.
  // Every text the program shows is far shorter than the line.
  char line[256];
  size_t used = Append(line, 0, sizeof line - 1, caption);
  used = Append(line, used, sizeof line - 1, ": ");
  used = Append(line, used, sizeof line - 1, text);
  line[used++] = '\n';
  // A box that cannot be shown has nowhere else to go; the flow goes on.
  while (write(STDERR_FILENO, line, used) == -1 && errno == EINTR) {
  }
}

void SleepMilliseconds(uint32_t ms) {
  // The tuner's waits are short and exact; the kernel's default timer slack
  // of 50 us would lengthen each of them for nothing.
  (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  // A signal may cut the sleep short; sleep on for what remains.
  while (nanosleep(&left, &left) == -1 && errno == EINTR) {
  }
}

uint32_t ImageOffset(const void* code) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(code) -
                               reinterpret_cast<uintptr_t>(__executable_start));
}

}  // namespace platform
