// GoogleTest's hook for local adjustments, used by the Windows build of the
// tests only. The win32 thread model of the cross compiler, which the program
// needs to run on old Windows, has no std::mutex; GoogleTest uses one only for
// its Notification class, given here on a Windows event instead.
#ifndef WAVRIX_TESTS_GTEST_CUSTOM_PORT_H_
#define WAVRIX_TESTS_GTEST_CUSTOM_PORT_H_

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace internal
}  // namespace testing

#endif  // WAVRIX_TESTS_GTEST_CUSTOM_PORT_H_
