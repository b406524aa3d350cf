#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "event_loop.h"

struct sd_bus;

namespace tavrolin::linux_backend {

// Desktop notifications through org.freedesktop.Notifications on the user's
// session bus ($DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus), taken
// care of by the event loop: show() only sends, and the answer is read when
// the loop finds the bus ready. A connection lives while a call is under way
// and is let go once every call has been answered, or `answerTimeout` after
// the last call when the bus does not answer: an idle program holds no
// socket, and a bus that hangs stops nothing. What stands in the way of a
// notification is said on stderr once, not at every game.
class DesktopNotifier final : public LoopSource {
 public:
  explicit DesktopNotifier(std::chrono::milliseconds answerTimeout = std::chrono::seconds(10));
  ~DesktopNotifier() override;
  DesktopNotifier(const DesktopNotifier&) = delete;
  DesktopNotifier& operator=(const DesktopNotifier&) = delete;

  void show(std::string_view summary, std::string_view body);

  Wait wait() override;
  void dispatch() override;

 private:
  friend struct NotifyReply;
  struct BusCloser {
    void operator()(sd_bus* bus) const;
  };

  void problem(const std::string& why);

  std::chrono::milliseconds answerTimeout_;
  std::unique_ptr<sd_bus, BusCloser> bus_;
  int unanswered_ = 0;
  Clock::time_point deadline_{};
  bool problemShown_ = false;
};

}  // namespace tavrolin::linux_backend
