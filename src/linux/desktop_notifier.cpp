#include "desktop_notifier.h"

#include <systemd/sd-bus.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tavrolin::linux_backend {

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
// Messages handled per wake at most: a bus that keeps sending cannot keep
// the loop from its timers.
constexpr int kMostMessagesPerWake = 64;

struct MessageUnref {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};

std::string ErrorText(int negativeErrno) {
  return std::strerror(-negativeErrno);
}

// sd-bus counts time in microseconds of CLOCK_MONOTONIC.
std::chrono::steady_clock::time_point FromMonotonic(std::uint64_t microseconds) {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const auto nowMicroseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000000U +
                               static_cast<std::uint64_t>(now.tv_nsec) / 1000U;
  const std::uint64_t left = microseconds > nowMicroseconds ? microseconds - nowMicroseconds : 0;
  return std::chrono::steady_clock::now() +
         std::chrono::microseconds(std::min<std::uint64_t>(left, 24ULL * 3600 * 1000000));
}

}  // namespace

// The answer to one Notify call, or the error sd-bus makes up when none
// came in time or the connection ended.
struct NotifyReply {
  static int handle(sd_bus_message* reply, void* userdata, sd_bus_error* /*unused*/) {
    auto& notifier = *static_cast<DesktopNotifier*>(userdata);
    --notifier.unanswered_;
    if (sd_bus_message_is_method_error(reply, nullptr) > 0) {
      const sd_bus_error* error = sd_bus_message_get_error(reply);
      notifier.problem(std::string("the notification failed: ") +
                       (error != nullptr && error->name != nullptr ? error->name : "?") +
                       (error != nullptr && error->message != nullptr
                            ? std::string(" (") + error->message + ")"
                            : std::string()));
    }
    return 1;
  }
};

void DesktopNotifier::BusCloser::operator()(sd_bus* bus) const {
  // Closed without flushing: what was not sent is dropped, nothing waits.
  sd_bus_close_unref(bus);
}

DesktopNotifier::DesktopNotifier(std::chrono::milliseconds answerTimeout)
    : answerTimeout_(answerTimeout) {}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::problem(const std::string& why) {
  if (problemShown_) return;
  problemShown_ = true;
  std::fprintf(stderr, "tavrolin: no desktop notification: %s\n", why.c_str());
}

void DesktopNotifier::show(std::string_view summary, std::string_view body) {
  if (!bus_) {
    // Without an address the library is not even asked (nor paged in).
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr &&
        std::getenv("XDG_RUNTIME_DIR") == nullptr) {
      problem("no session bus (neither DBUS_SESSION_BUS_ADDRESS nor XDG_RUNTIME_DIR is set)");
      return;
    }
    sd_bus* bus = nullptr;
    // Connecting and signing in do not wait: sd-bus goes on with them in
    // dispatch().
    if (const int result = sd_bus_open_user(&bus); result < 0) {
      problem("cannot connect to the session bus: " + ErrorText(result));
      return;
    }
    bus_.reset(bus);
  }
  sd_bus_message* created = nullptr;
  int result =
      sd_bus_message_new_method_call(bus_.get(), &created, kService, kPath, kService, "Notify");
  const std::unique_ptr<sd_bus_message, MessageUnref> call(created);
  const std::string summaryText(summary);
  const std::string bodyText(body);
  if (result >= 0) {
    // Application, no notification to replace, no icon, the texts, no
    // actions, no hints, the server's own display time.
    result = sd_bus_message_append(call.get(), "susssasa{sv}i", "Tavrolin", 0U, "",
                                   summaryText.c_str(), bodyText.c_str(), 0U, 0U, -1);
  }
  if (result >= 0) {
    const auto timeout =
        std::chrono::duration_cast<std::chrono::microseconds>(answerTimeout_).count();
    result = sd_bus_call_async(bus_.get(), nullptr, call.get(), &NotifyReply::handle, this,
                               static_cast<std::uint64_t>(timeout));
  }
  if (result < 0) {
    problem("the notification could not be sent: " + ErrorText(result));
    if (unanswered_ == 0) bus_.reset();
    return;
  }
  ++unanswered_;
  deadline_ = Clock::now() + answerTimeout_;
}

LoopSource::Wait DesktopNotifier::wait() {
  Wait wait;
  if (!bus_) return wait;
  const int fd = sd_bus_get_fd(bus_.get());
  const int events = sd_bus_get_events(bus_.get());
  wait.deadline = deadline_;
  if (fd < 0 || events < 0) {
    wait.deadline = Clock::now();  // dispatch() finds out what is wrong
    return wait;
  }
  wait.fd = fd;
  wait.events = static_cast<short>(events);
  std::uint64_t due = 0;
  if (sd_bus_get_timeout(bus_.get(), &due) >= 0 && due != UINT64_MAX)
    wait.deadline = std::min(*wait.deadline, FromMonotonic(due));
  return wait;
}

void DesktopNotifier::dispatch() {
  if (!bus_) return;
  int result = 0;
  for (int i = 0; i < kMostMessagesPerWake; ++i) {
    result = sd_bus_process(bus_.get(), nullptr);
    if (result <= 0) break;
  }
  if (result < 0) {
    problem("the session bus connection failed: " + ErrorText(result));
  } else if (unanswered_ > 0 && Clock::now() < deadline_) {
    return;
  } else if (unanswered_ > 0) {
    problem("the session bus did not answer within " +
            std::to_string(std::chrono::ceil<std::chrono::seconds>(answerTimeout_).count()) + " s");
  }
  bus_.reset();
  unanswered_ = 0;
}

}  // namespace tavrolin::linux_backend
