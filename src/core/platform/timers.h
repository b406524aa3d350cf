#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace tavrolin {

// A timer on the GUI thread. Enabling a disabled timer starts its interval
// anew; enabling an enabled one changes nothing. A new interval restarts a
// running timer; the same interval again does not. Interval 0 never ticks.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void setInterval(std::uint32_t milliseconds) = 0;
  virtual std::uint32_t interval() const = 0;
  virtual void setEnabled(bool enabled) = 0;
  virtual bool enabled() const = 0;
};

class TimerService {
 public:
  virtual ~TimerService() = default;
  // The timer starts disabled with interval 0; `onTick` runs at every tick.
  virtual std::unique_ptr<Timer> createTimer(std::function<void()> onTick) = 0;
};

}  // namespace tavrolin
