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

LinuxEnvironment::LinuxEnvironment(EventLoop& loop, std::string settingsDirectory,
                                   LockRoots lockRoots)
    : loop_(loop),
      settingsDirectory_(std::move(settingsDirectory)),
      lockRoots_(std::move(lockRoots)) {}

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

// The directory at `path` when it is this user's alone: a directory, not a
// link, owned by the user, with mode 0700. Otherwise an empty UniqueFd, and
// `why` says what is wrong.
UniqueFd OpenPrivateDirectory(const std::string& path, std::string& why) {
  UniqueFd dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info {};
  if (!dir || ::fstat(dir.get(), &info) != 0) {
    why = std::strerror(errno);
    return UniqueFd();
  }
  if (info.st_uid != ::geteuid() || (info.st_mode & 07777) != 0700) {
    why = "not this user's own directory with mode 0700";
    errno = EPERM;
    return UniqueFd();
  }
  return dir;
}

}  // namespace

bool LinuxEnvironment::anotherInstanceRunning() {
  const std::string user = std::to_string(::geteuid());
  std::string directory = lockRoots_.runtimeRoot + "/" + user;
  std::string why;
  UniqueFd dir = OpenPrivateDirectory(directory, why);
  const bool inRuntimeDirectory = static_cast<bool>(dir);
  if (!dir) {
    // /tmp is everyone's: the directory must be this user's own, not a link
    // or a directory someone else put there.
    directory = lockRoots_.fallbackRoot + "/tavrolin-" + user;
    if (::mkdir(directory.c_str(), 0700) == 0)
      ::chmod(directory.c_str(), 0700);  // whatever the umask
    dir = OpenPrivateDirectory(directory, why);
  }
  UniqueFd lock;
  if (dir) {
    // Never through a link, and only a file of this user's: nobody else can
    // point the lock elsewhere or hold it for us.
    lock.reset(::openat(dir.get(), kLockName,
                        O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat info {};
    if (!lock) {
      why = std::strerror(errno);
    } else if (::fstat(lock.get(), &info) == 0 &&
               (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())) {
      why = "not a file of this user's";
      errno = EPERM;
      lock.reset();
    }
  }
  if (lock && ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
    // Held until the process ends, however it ends. The ageing of temporary
    // files passes over a locked directory and everything in it.
    instanceLock_ = std::move(lock);
    if (!inRuntimeDirectory && ::flock(dir.get(), LOCK_EX | LOCK_NB) == 0)
      lockDirectory_ = std::move(dir);
    SetLastError(0);
    return false;
  }
  const int error = errno;
  SetLastError(error);
  if (lock && error == EWOULDBLOCK) {
    std::fprintf(stderr, "tavrolin: another copy runs for this user (it holds %s/%s): ending\n",
                 directory.c_str(), kLockName);
    return true;
  }
  if (lock) why = std::strerror(error);
  std::fprintf(stderr, "tavrolin: cannot lock %s/%s (%s): another copy may run at the same time\n",
               directory.c_str(), kLockName, why.c_str());
  return false;
}

}  // namespace tavrolin::linux_backend
