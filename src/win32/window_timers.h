#pragma once

#include <windows.h>

#include <map>

#include "platform/event_pump.h"
#include "platform/timers.h"
#include "window.h"

namespace tavrolin::win32 {

// Timers as window timers of one window: its WM_TIMER messages come back
// through dispatch(), on the GUI thread.
class WindowTimers final : public TimerService {
 public:
  explicit WindowTimers(const Window& window) : window_(window) {}
  WindowTimers(const WindowTimers&) = delete;
  WindowTimers& operator=(const WindowTimers&) = delete;

  std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override;
  // The window's WM_TIMER with this identifier.
  void dispatch(UINT_PTR timerId);

 private:
  class WindowTimer;
  const Window& window_;
  std::map<UINT_PTR, WindowTimer*> timers_;  // not owned: each timer leaves itself
  UINT_PTR nextId_ = 1;
};

// Handles the messages already waiting in the thread's queue, then returns.
class MessagePump final : public EventPump {
 public:
  void handleWaitingEvents() override;
};

}  // namespace tavrolin::win32
