#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavrolin::linux_backend {

// A socket a D-Bus address names: a file system path, or an abstract name.
struct BusSocket {
  std::string name;
  bool abstract = false;
};

// The unix sockets of a D-Bus address ("unix:path=/run/user/1000/bus",
// several joined by ";", values %-escaped), in order. Other transports and
// unknown keys are passed over.
std::vector<BusSocket> ParseBusAddress(std::string_view address);

// Shows a desktop notification through org.freedesktop.Notifications on the
// session bus ($DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus). Each
// call takes a connection of its own and closes it before it returns, so an
// idle program holds no socket and nothing wakes it; a bus that does not
// answer is given up after two seconds. Returns what stood in the way, or ""
// once the bus has taken the call.
std::string SendDesktopNotification(std::string_view summary, std::string_view body);

}  // namespace tavrolin::linux_backend
