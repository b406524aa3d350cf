#include "window_timers.h"

namespace tavrolin::win32 {

class WindowTimers::WindowTimer final : public Timer {
 public:
  WindowTimer(WindowTimers& owner, UINT_PTR id, std::function<void()> onTick)
      : owner_(owner), id_(id), onTick_(std::move(onTick)) {
    owner_.timers_[id_] = this;
  }
  ~WindowTimer() override {
    if (armed()) ::KillTimer(owner_.window_.hwnd(), id_);
    owner_.timers_.erase(id_);
  }

  void setInterval(std::uint32_t milliseconds) override {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    rearm();
  }
  std::uint32_t interval() const override { return interval_; }
  void setEnabled(bool enabled) override {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    rearm();
  }
  bool enabled() const override { return enabled_; }

  void tick() {
    // A WM_TIMER that was queued before the timer stopped does not count; nor
    // does one that the event pump finds while this tick is still running.
    if (!armed() || ticking_) return;
    ticking_ = true;
    onTick_();
    ticking_ = false;
  }

 private:
  bool armed() const { return enabled_ && interval_ > 0; }
  // Setting a running timer again starts its interval anew.
  void rearm() {
    const HWND hwnd = owner_.window_.hwnd();
    if (armed()) {
      ::SetTimer(hwnd, id_, interval_, nullptr);
    } else {
      ::KillTimer(hwnd, id_);
    }
  }

  WindowTimers& owner_;
  UINT_PTR id_;
  std::function<void()> onTick_;
  std::uint32_t interval_ = 0;
  bool enabled_ = false;
  bool ticking_ = false;
};

std::unique_ptr<Timer> WindowTimers::createTimer(std::function<void()> onTick) {
  return std::make_unique<WindowTimer>(*this, nextId_++, std::move(onTick));
}

void WindowTimers::dispatch(UINT_PTR timerId) {
  const auto found = timers_.find(timerId);
  if (found != timers_.end()) found->second->tick();
}

void MessagePump::handleWaitingEvents() {
  // Only what was waiting when the pump started: a timer that falls due again
  // while its own handler runs, or a window that keeps asking to be painted,
  // must not keep the pump going for ever.
  const DWORD started = ::GetTickCount();
  MSG message{};
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE) != 0) {
    if (static_cast<LONG>(message.time - started) > 0) return;
    if (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) == 0) return;
    if (message.message == WM_QUIT) {
      // Not ours to take: the message loop ends on it.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (Window::preTranslate(message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

}  // namespace tavrolin::win32
