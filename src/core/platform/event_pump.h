#pragma once

namespace tavrolin {

// Handles every window event (timer tick, menu command) that is already
// waiting, then returns.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void handleWaitingEvents() = 0;
};

}  // namespace tavrolin
