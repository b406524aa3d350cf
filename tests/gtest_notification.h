#pragma once

// GoogleTest's Notification for a compiler without std::mutex (the win32
// thread model of the 32-bit Windows build): read first by every file that
// uses GoogleTest there. Only GoogleTest's own thread tests wait on it.
#include <atomic>

namespace testing::internal {
class Notification {
 public:
  void Notify() { notified_ = true; }
  void WaitForNotification() const {
    while (!notified_) {
    }
  }

 private:
  std::atomic<bool> notified_{false};
};
}  // namespace testing::internal

#define GTEST_HAS_NOTIFICATION_ 1
