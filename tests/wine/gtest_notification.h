// GoogleTest's Notification on a Win32 event: the win32 thread model of
// mingw-w64 has no std::mutex, which gtest's own version needs.
#pragma once
#ifdef __cplusplus
#include <windows.h>

namespace testing::internal {
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
}  // namespace testing::internal
#endif
