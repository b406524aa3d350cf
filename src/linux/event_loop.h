#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/event_pump.h"
#include "platform/timers.h"
#include "unique_fd.h"

namespace tavrolin::linux_backend {

// The program's one thread: sleeps until the next timer is due or SIGINT /
// SIGTERM arrives, so an idle program wakes once per poll and no more. It owns
// the signal descriptor; each timer belongs to whoever created it.
class EventLoop final : public TimerService, public EventPump {
 public:
  using Clock = std::chrono::steady_clock;

  // Blocks SIGINT and SIGTERM for this thread and takes them through a
  // signalfd instead.
  EventLoop();
  ~EventLoop() override;

  std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override;
  // Runs the timers that are due now.
  void handleWaitingEvents() override;

  // Runs until quit(); `onTerminate` runs when SIGINT or SIGTERM arrives.
  void run(const std::function<void()>& onTerminate);
  void quit(int exitCode);
  bool quitting() const { return quitting_; }
  int exitCode() const { return exitCode_; }

 private:
  class LoopTimer;
  void runDueTimers();
  std::chrono::milliseconds timeUntilNextTimer() const;

  UniqueFd signals_;
  std::vector<LoopTimer*> timers_;  // not owned: each timer removes itself
  bool quitting_ = false;
  int exitCode_ = 0;
};

}  // namespace tavrolin::linux_backend
