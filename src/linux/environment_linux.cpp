#include "environment_linux.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "last_error_linux.h"

namespace tavrolin::linux_backend {

LinuxEnvironment::LinuxEnvironment(EventLoop& loop, std::string settingsDirectory)
    : loop_(loop), settingsDirectory_(std::move(settingsDirectory)) {}

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

namespace {

constexpr const char* kLockName = "tavrolin.lock";

// A directory this user owns; an empty UniqueFd, with errno set, otherwise.
UniqueFd OpenOwnDirectory(const std::string& path, int flags) {
  UniqueFd dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags));
  struct stat info {};
  if (!dir || ::fstat(dir.get(), &info) != 0) return UniqueFd();
  if (info.st_uid != ::geteuid()) {
    errno = EPERM;
    return UniqueFd();
  }
  return dir;
}

// Where the lock lives: the user's $XDG_RUNTIME_DIR, or else
// /tmp/tavrolin-UID, made for it. Sets `path`.
UniqueFd OpenLockDirectory(std::string& path) {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/') {
    path = runtime;
    if (UniqueFd dir = OpenOwnDirectory(path, 0)) return dir;
  }
  // /tmp is everyone's: the directory must be this user's own, not a link
  // someone else put there.
  path = "/tmp/tavrolin-" + std::to_string(::geteuid());
  ::mkdir(path.c_str(), 0700);
  return OpenOwnDirectory(path, O_NOFOLLOW);
}

}  // namespace

bool LinuxEnvironment::anotherInstanceRunning() {
  std::string directory;
  const UniqueFd dir = OpenLockDirectory(directory);
  UniqueFd lock;
  if (dir) {
    // Never through a link, and only a file of this user's: nobody else can
    // point the lock elsewhere or hold it for us.
    lock.reset(::openat(dir.get(), kLockName,
                        O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat info {};
    if (lock && ::fstat(lock.get(), &info) == 0 &&
        (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())) {
      errno = EPERM;
      lock.reset();
    }
  }
  if (lock && ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
    // Held until the process ends, however it ends.
    instanceLock_ = std::move(lock);
    SetLastError(0);
    return false;
  }
  const int error = errno;
  SetLastError(error);
  if (lock && error == EWOULDBLOCK) return true;
  std::fprintf(stderr, "tavrolin: cannot lock %s/%s (%s): another copy may run at the same time\n",
               directory.c_str(), kLockName, std::strerror(error));
  return false;
}

}  // namespace tavrolin::linux_backend
