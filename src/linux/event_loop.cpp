#include "event_loop.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace tavrolin::linux_backend {

class EventLoop::LoopTimer final : public Timer {
 public:
  LoopTimer(EventLoop& loop, std::function<void()> onTick)
      : loop_(loop), onTick_(std::move(onTick)) {
    loop_.timers_.push_back(this);
  }
  ~LoopTimer() override { std::erase(loop_.timers_, this); }

  void setInterval(std::uint32_t milliseconds) override {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    restart();
  }
  std::uint32_t interval() const override { return interval_; }
  void setEnabled(bool enabled) override {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    restart();
  }
  bool enabled() const override { return enabled_; }

  bool armed() const { return enabled_ && interval_ > 0; }
  Clock::time_point due() const { return due_; }

  void tickIfDue(Clock::time_point now) {
    if (!armed() || ticking_ || now < due_) return;
    due_ = now + std::chrono::milliseconds(interval_);
    ticking_ = true;
    onTick_();
    ticking_ = false;
  }

 private:
  void restart() { due_ = Clock::now() + std::chrono::milliseconds(interval_); }

  EventLoop& loop_;
  std::function<void()> onTick_;
  std::uint32_t interval_ = 0;
  bool enabled_ = false;
  bool ticking_ = false;  // a tick in progress is not entered again from the pump
  Clock::time_point due_{};
};

EventLoop::EventLoop() {
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t set;
  sigemptyset(&set);
  for (const int ending : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&set, ending);
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &set, &before);
  signals_.reset(signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
  if (!signals_) {
    // Blocked with nothing to read them, the signals could never end the
    // program.
    setupError_ = errno;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
  }
}

EventLoop::~EventLoop() = default;

std::unique_ptr<Timer> EventLoop::createTimer(std::function<void()> onTick) {
  return std::make_unique<LoopTimer>(*this, std::move(onTick));
}

void EventLoop::runDueTimers() {
  const Clock::time_point now = Clock::now();
  // A tick may switch timers on or off, but never creates or destroys one.
  const std::vector<LoopTimer*> timers = timers_;
  for (LoopTimer* timer : timers) {
    if (quitting_) return;
    timer->tickIfDue(now);
  }
}

void EventLoop::handleWaitingEvents() {
  runDueTimers();
}

std::chrono::milliseconds EventLoop::timeUntilNextTimer() const {
  std::chrono::milliseconds wait = std::chrono::milliseconds::max();
  const Clock::time_point now = Clock::now();
  for (const LoopTimer* timer : timers_) {
    if (!timer->armed()) continue;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(timer->due() - now);
    wait = std::min(wait, std::max(left, std::chrono::milliseconds(0)));
  }
  return wait;
}

void EventLoop::run(const std::function<void()>& onTerminate) {
  while (!quitting_) {
    const LoopSource::Wait source = source_ != nullptr ? source_->wait() : LoopSource::Wait{};
    std::chrono::milliseconds wait = timeUntilNextTimer();
    if (source.deadline) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(*source.deadline - Clock::now());
      wait = std::min(wait, std::max(left, std::chrono::milliseconds(0)));
    }
    const int timeout =
        wait == std::chrono::milliseconds::max()
            ? -1
            : static_cast<int>(std::min<std::chrono::milliseconds::rep>(wait.count(), INT_MAX));
    // poll() passes over a descriptor of -1.
    std::array<pollfd, 2> fds{{{signals_.get(), POLLIN, 0}, {source.fd, source.events, 0}}};
    const int ready = ::poll(fds.data(), fds.size(), timeout);
    if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
      signalfd_siginfo info{};
      while (::read(signals_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      }
      onTerminate();
      continue;
    }
    if (ready < 0 && errno != EINTR) {
      // Nothing more can be waited for: shut down as a signal would, rather
      // than leave without the shutdown.
      std::fprintf(stderr, "tavrolin: waiting for events failed: %s\n", std::strerror(errno));
      onTerminate();
      quit(1);
      break;
    }
    if (source_ != nullptr &&
        (fds[1].revents != 0 || (source.deadline && Clock::now() >= *source.deadline)))
      source_->dispatch();
    runDueTimers();
  }
}

void EventLoop::quit(int exitCode) {
  quitting_ = true;
  exitCode_ = exitCode;
}

}  // namespace tavrolin::linux_backend
