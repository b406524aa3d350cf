#include "desktop_notification.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "unique_fd.h"

namespace tavrolin::linux_backend {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kTimeout{2000};
constexpr std::size_t kLargestMessage = 1 << 20;

constexpr char kMethodCall = 1;
constexpr char kMethodReturn = 2;
constexpr char kError = 3;
constexpr std::uint32_t kHelloSerial = 1;
constexpr std::uint32_t kNotifySerial = 2;

// The wire format of one message, in this machine's byte order (the first
// byte of the message says which).
class Writer {
 public:
  std::string bytes;

  void align(std::size_t boundary) {
    bytes.resize((bytes.size() + boundary - 1) / boundary * boundary, '\0');
  }
  void byte(char value) { bytes.push_back(value); }
  void u32(std::uint32_t value) {
    align(4);
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
  }
  void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
  void text(std::string_view value) {  // a string or an object path
    u32(static_cast<std::uint32_t>(value.size()));
    bytes.append(value).push_back('\0');
  }
  void signature(std::string_view value) {
    byte(static_cast<char>(value.size()));
    bytes.append(value).push_back('\0');
  }
  void patchU32(std::size_t at, std::uint32_t value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
  }
};

// The bus drops a connection that sends anything but UTF-8; what the program
// sends is ASCII, and anything else becomes '?'.
std::string Ascii(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c == '\0' || static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return result;
}

std::string MethodCall(std::uint32_t serial, std::string_view destination, std::string_view path,
                       std::string_view interface, std::string_view member,
                       std::string_view signature, const std::string& body) {
  Writer message;
  message.byte(std::endian::native == std::endian::little ? 'l' : 'B');
  message.byte(kMethodCall);
  message.byte(0);  // flags
  message.byte(1);  // protocol version
  message.u32(static_cast<std::uint32_t>(body.size()));
  message.u32(serial);
  const std::size_t fieldsLength = message.bytes.size();
  message.u32(0);
  const std::size_t fieldsStart = message.bytes.size();
  const auto field = [&](char code, char type, std::string_view value) {
    message.align(8);
    message.byte(code);
    message.signature(std::string_view(&type, 1));
    if (type == 'g') {
      message.signature(value);
    } else {
      message.text(value);
    }
  };
  field(1, 'o', path);
  field(2, 's', interface);
  field(3, 's', member);
  field(6, 's', destination);
  if (!signature.empty()) field(8, 'g', signature);
  message.patchU32(fieldsLength, static_cast<std::uint32_t>(message.bytes.size() - fieldsStart));
  message.align(8);
  message.bytes += body;
  return message.bytes;
}

std::string NotifyCall(std::string_view summary, std::string_view body) {
  Writer arguments;
  arguments.text("Tavrolin");  // the application
  arguments.u32(0);            // replaces no earlier notification
  arguments.text("");          // no icon
  arguments.text(Ascii(summary));
  arguments.text(Ascii(body));
  arguments.u32(0);    // no actions
  arguments.u32(0);    // no hints: an empty array of dictionary entries...
  arguments.align(8);  // ...still pads to their alignment
  arguments.i32(-1);   // the server's own timeout
  return MethodCall(kNotifySerial, "org.freedesktop.Notifications",
                    "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "Notify",
                    "susssasa{sv}i", arguments.bytes);
}

// A received message: its type, the serial it answers and, for an error, its name.
struct Reply {
  char type = 0;
  std::uint32_t replySerial = 0;
  std::string errorName;
};

// Reads what the messages at the front of `in` answer; consumes each
// complete one. nullopt when more bytes are needed; a type of 0 for a
// message that cannot be read.
class Reader {
 public:
  explicit Reader(std::string& in) : in_(in) {}

  std::optional<Reply> next() {
    if (in_.size() < 16) return std::nullopt;
    swap_ = (in_[0] == 'l') != (std::endian::native == std::endian::little);
    const std::size_t fields = u32(12);
    const std::size_t total = 16 + (fields + 7) / 8 * 8 + u32(4);
    if ((in_[0] != 'l' && in_[0] != 'B') || total > kLargestMessage) return Reply{};
    if (in_.size() < total) return std::nullopt;
    Reply reply;
    reply.type = in_[1];
    std::size_t at = 16;
    const std::size_t end = 16 + fields;
    while (at < end) {
      at = (at + 7) / 8 * 8;
      if (at + 3 > end) break;
      const char code = in_[at];
      const std::size_t typeLength = static_cast<unsigned char>(in_[at + 1]);
      const char type = in_[at + 2];
      at += 2 + typeLength + 1;
      if (typeLength != 1) break;
      if (type == 'u' || type == 's' || type == 'o') {
        at = (at + 3) / 4 * 4;
        if (at + 4 > end) break;
        const std::uint32_t value = u32(at);
        at += 4;
        if (type == 'u') {
          if (code == 5) reply.replySerial = value;
          continue;
        }
        if (value > end || at + value + 1 > end) break;
        if (code == 4) reply.errorName = in_.substr(at, value);
        at += value + 1;
      } else if (type == 'g') {
        if (at >= end) break;
        at += 2 + std::size_t{static_cast<unsigned char>(in_[at])};
      } else {
        break;  // nothing that answers a call comes after a field of another type
      }
    }
    in_.erase(0, total);
    return reply;
  }

 private:
  std::uint32_t u32(std::size_t at) const {
    std::uint32_t value = 0;
    std::memcpy(&value, in_.data() + at, sizeof value);
    return swap_ ? __builtin_bswap32(value) : value;
  }

  std::string& in_;
  bool swap_ = false;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// An address value with its %XX escapes undone.
std::string Unescape(std::string_view value) {
  std::string result;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 &&
        HexDigit(value[i + 2]) >= 0) {
      result.push_back(static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2])));
      i += 2;
    } else {
      result.push_back(value[i]);
    }
  }
  return result;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Appends what arrives before `deadline` to `in`; false on the end of the
// connection, an error or the deadline.
bool Receive(int fd, std::string& in, Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd wait{fd, POLLIN, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char chunk[4096];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    in.append(chunk, static_cast<std::size_t>(got));
    return true;
  }
}

// A connected socket, or why there is none.
UniqueFd Connect(const BusSocket& socket, std::string& why) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t offset = socket.abstract ? 1 : 0;
  if (socket.name.size() + offset >= sizeof address.sun_path) {
    why = "the session bus address is too long: " + socket.name;
    return UniqueFd();
  }
  std::memcpy(address.sun_path + offset, socket.name.data(), socket.name.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                             socket.name.size() + (socket.abstract ? 0 : 1));
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) {
    why = std::string("no socket: ") + std::strerror(errno);
    return fd;
  }
  // Bounds a connect to a bus whose queue is full, and every send.
  const timeval timeout{kTimeout.count() / 1000, 0};
  ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  while (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    if (errno == EINTR) continue;
    why = "cannot connect to the session bus at " + std::string(socket.abstract ? "@" : "") +
          socket.name + ": " + std::strerror(errno);
    return UniqueFd();
  }
  return fd;
}

std::string Notify(int fd, std::string_view summary, std::string_view body) {
  const Clock::time_point deadline = Clock::now() + kTimeout;
  std::string uid;
  for (const char digit : std::to_string(::getuid())) {
    constexpr char kHex[] = "0123456789abcdef";
    uid += kHex[static_cast<unsigned char>(digit) >> 4];
    uid += kHex[digit & 0xf];
  }
  if (!SendAll(fd, std::string(1, '\0') + "AUTH EXTERNAL " + uid + "\r\n"))
    return std::string("the session bus closed the connection: ") + std::strerror(errno);
  std::string in;
  while (in.find("\r\n") == std::string::npos) {
    if (in.size() > 512 || !Receive(fd, in, deadline))
      return "the session bus did not answer the sign-in";
  }
  if (!in.starts_with("OK ")) return "the session bus refused the sign-in";
  in.clear();

  const std::string hello =
      MethodCall(kHelloSerial, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                 "org.freedesktop.DBus", "Hello", "", "");
  if (!SendAll(fd, "BEGIN\r\n" + hello + NotifyCall(summary, body)))
    return std::string("the session bus closed the connection: ") + std::strerror(errno);

  bool welcomed = false;
  Reader reader(in);
  for (;;) {
    while (const std::optional<Reply> reply = reader.next()) {
      if (reply->type == 0) return "the session bus sent a message that cannot be read";
      if (reply->type != kMethodReturn && reply->type != kError) continue;
      if (reply->replySerial == kHelloSerial) {
        if (reply->type == kError)
          return "the session bus refused the connection: " + reply->errorName;
        welcomed = true;
      } else if (reply->replySerial == kNotifySerial) {
        return reply->type == kError ? "the notification was refused: " + reply->errorName : "";
      }
    }
    if (!Receive(fd, in, deadline)) {
      // The bus took the call; a notification server it is still starting
      // may show it later.
      return welcomed ? "" : "the session bus did not answer";
    }
  }
}

}  // namespace

std::vector<BusSocket> ParseBusAddress(std::string_view address) {
  std::vector<BusSocket> sockets;
  while (!address.empty()) {
    const std::size_t semicolon = address.find(';');
    std::string_view entry = address.substr(0, semicolon);
    address =
        semicolon == std::string_view::npos ? std::string_view() : address.substr(semicolon + 1);
    if (!entry.starts_with("unix:")) continue;
    entry.remove_prefix(5);
    while (!entry.empty()) {
      const std::size_t comma = entry.find(',');
      const std::string_view pair = entry.substr(0, comma);
      entry = comma == std::string_view::npos ? std::string_view() : entry.substr(comma + 1);
      if (pair.starts_with("path=")) {
        sockets.push_back({Unescape(pair.substr(5)), false});
        break;
      }
      if (pair.starts_with("abstract=")) {
        sockets.push_back({Unescape(pair.substr(9)), true});
        break;
      }
    }
  }
  return sockets;
}

std::string SendDesktopNotification(std::string_view summary, std::string_view body) {
  std::vector<BusSocket> sockets;
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
      address != nullptr && *address != '\0') {
    sockets = ParseBusAddress(address);
    if (sockets.empty())
      return "no unix socket in DBUS_SESSION_BUS_ADDRESS=" + std::string(address);
  } else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
             runtime != nullptr && *runtime != '\0') {
    sockets.push_back({std::string(runtime) + "/bus", false});
  } else {
    return "no session bus (neither DBUS_SESSION_BUS_ADDRESS nor XDG_RUNTIME_DIR is set)";
  }
  std::string why;
  for (const BusSocket& socket : sockets) {
    const UniqueFd fd = Connect(socket, why);
    if (fd) return Notify(fd.get(), summary, body);
  }
  return why;
}

}  // namespace tavrolin::linux_backend
