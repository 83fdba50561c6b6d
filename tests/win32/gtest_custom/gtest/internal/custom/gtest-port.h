// GoogleTest's place for a platform's own pieces, for the Windows builds.
// They use the compiler's win32 thread model (cmake/mingw-w64.cmake), whose
// C++ library in this GCC has no std::mutex or std::condition_variable, the
// two that GoogleTest's Notification is made of. This Notification waits on
// a Windows event instead; GoogleTest's other thread pieces use Win32 calls
// on Windows already.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace testing::internal {

class Notification {
 public:
  Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  ~Notification() { CloseHandle(event_); }

  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace testing::internal

#define GTEST_HAS_NOTIFICATION_ 1
