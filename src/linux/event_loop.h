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
  // signalfd instead; ignores SIGPIPE, so that a closed output is an error
  // to a write and not the program's end. When the signalfd cannot be made,
  // the signals are left as they were and setupError() says why.
  EventLoop();
  ~EventLoop() override;

  std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override;
  // Runs the timers that are due now.
  void handleWaitingEvents() override;

  // The errno of a signalfd that could not be made; 0 when the loop can run.
  int setupError() const { return setupError_; }

  // Runs until quit(); `onTerminate` runs when SIGINT or SIGTERM arrives, and
  // when the wait itself fails (the loop then ends with status 1).
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
  bool quitting_ = false;
  int exitCode_ = 0;
};

}  // namespace tavrolin::linux_backend
