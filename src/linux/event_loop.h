#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/event_pump.h"
#include "platform/timers.h"
#include "unique_fd.h"

namespace tavrolin::linux_backend {

// A descriptor the loop waits on besides its timers and signals (the session
// bus while a notification is under way), asked afresh before each wait.
class LoopSource {
 public:
  using Clock = std::chrono::steady_clock;
  struct Wait {
    int fd = -1;  // nothing to wait for
    short events = 0;
    std::optional<Clock::time_point> deadline;  // dispatch() is due then at the latest
  };
  virtual ~LoopSource() = default;
  virtual Wait wait() = 0;
  // After a wait that found the descriptor ready or the deadline passed.
  virtual void dispatch() = 0;
};

// The program's one thread: sleeps until the next timer is due, a signal that
// ends the program arrives or the source has something, so an idle program
// wakes once per poll and no more. It owns the signal descriptor; each timer
// belongs to whoever created it.
class EventLoop final : public TimerService, public EventPump {
 public:
  using Clock = std::chrono::steady_clock;

  // Blocks SIGINT, SIGTERM, SIGHUP (the terminal closed) and SIGQUIT for this
  // thread and takes them through a signalfd instead, so each ends the
  // program through its shutdown; ignores SIGPIPE, so that a closed output is
  // an error to a write and not the program's end. When the signalfd cannot
  // be made, the signals are left as they were and setupError() says why.
  EventLoop();
  ~EventLoop() override;

  std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override;
  // Runs the timers that are due now.
  void handleWaitingEvents() override;

  // The errno of a signalfd that could not be made; 0 when the loop can run.
  int setupError() const { return setupError_; }

  // Not owned; it must outlive the loop's runs. nullptr: none.
  void setSource(LoopSource* source) { source_ = source; }

  // Runs until quit(); `onTerminate` runs when one of the signals arrives,
  // and when the wait itself fails (the loop then ends with status 1).
  void run(const std::function<void()>& onTerminate);
  void quit(int exitCode);
  bool quitting() const { return quitting_; }
  int exitCode() const { return exitCode_; }

 private:
  class LoopTimer;
  void runDueTimers();
  std::chrono::milliseconds timeUntilNextTimer() const;

  UniqueFd signals_;
  int setupError_ = 0;
  std::vector<LoopTimer*> timers_;  // not owned: each timer removes itself
  LoopSource* source_ = nullptr;
  bool quitting_ = false;
  int exitCode_ = 0;
};

}  // namespace tavrolin::linux_backend
