#include "environment_linux.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "last_error_linux.h"

namespace tavrolin::linux_backend {

LinuxEnvironment::LinuxEnvironment(EventLoop& loop, std::string settingsDirectory)
    : loop_(loop), settingsDirectory_(std::move(settingsDirectory)) {
  std::array<char, 4096> path{};
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length > 0) executable_.assign(path.data(), static_cast<std::size_t>(length));
}

std::optional<std::string> LinuxEnvironment::variable(std::string_view name) const {
  const std::string key(name);
  if (const char* value = std::getenv(key.c_str())) return std::string(value);
  if (name == "NUMBER_OF_PROCESSORS") {
    // The machine's processors, not this program's own affinity: a program
    // started under taskset adjusts the game like any other.
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (online > 0) return std::to_string(online);
  }
  return std::nullopt;
}

bool LinuxEnvironment::computerName(std::span<char> buffer, std::uint32_t& size) {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) {
    SetLastError(errno);
    return false;
  }
  const std::size_t length = std::strlen(name.data());
  if (length + 1 > buffer.size()) {
    SetLastError(ENAMETOOLONG);
    return false;
  }
  std::memcpy(buffer.data(), name.data(), length + 1);
  size = static_cast<std::uint32_t>(length);
  SetLastError(0);
  return true;
}

bool LinuxEnvironment::anotherInstanceRunning() {
  UniqueFd fd(::open(executable_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    SetLastError(errno);
    return false;  // nothing to lock: let this copy run
  }
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    SetLastError(errno);
    return errno == EWOULDBLOCK;
  }
  instanceLock_ = std::move(fd);
  return false;
}

}  // namespace tavrolin::linux_backend
