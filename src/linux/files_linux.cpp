#include "files_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <ctime>
#include <optional>
#include <string>

#include "config/profile_text.h"
#include "config/settings.h"
#include "last_error_linux.h"
#include "unique_fd.h"

namespace tavrolin::linux_backend {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Opens `path` only if it is a regular file. O_NONBLOCK keeps a pipe or a
// device from blocking the open; fstat then refuses anything but a regular
// file before a byte is read or written. An empty UniqueFd, with errno set,
// otherwise.
UniqueFd OpenRegular(const std::string& path, int flags) {
  UniqueFd fd(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0644));
  if (!fd) return fd;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return UniqueFd();
  if (!S_ISREG(info.st_mode)) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    return UniqueFd();
  }
  return fd;
}

// The whole file, if it is a regular file of at most kMaxSettingsBytes;
// nullopt otherwise (errno tells why: EFBIG for a larger one). Only config.ini
// is ever read.
std::optional<std::string> ReadFile(const std::string& path) {
  const UniqueFd fd = OpenRegular(path, O_RDONLY);
  if (!fd) return std::nullopt;
  std::string text;
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    text.append(chunk, static_cast<std::size_t>(got));
    if (text.size() > kMaxSettingsBytes) {
      errno = EFBIG;
      return std::nullopt;
    }
  }
  return text;
}

}  // namespace

FileStatus LinuxFileSystem::status(const std::string& path) const {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    SetLastError(errno);
    return {errno == ENOENT ? FileStatus::kNotFound : FileStatus::kOther};
  }
  SetLastError(0);
  if (!S_ISREG(info.st_mode)) return {FileStatus::kOther};
  return {FileStatus::kPlainFile, static_cast<std::uint64_t>(info.st_size)};
}

std::optional<std::string> LinuxFileSystem::readText(const std::string& path) const {
  std::optional<std::string> text = ReadFile(path);
  SetLastError(text ? 0 : errno);
  return text;
}

bool LinuxFileSystem::writeText(const std::string& path, OpenMode mode, std::string_view bytes) {
  int flags = O_WRONLY | O_CREAT;
  if (mode == OpenMode::kFromStart) flags |= O_TRUNC;  // no effect on a pipe or device
  if (mode == OpenMode::kAppend) flags |= O_APPEND;
  if (mode == OpenMode::kCreateNew) flags |= O_EXCL;  // fails on anything there, a link too
  UniqueFd fd = OpenRegular(path, flags);
  if (!fd || !WriteAll(fd.get(), bytes)) {
    SetLastError(errno);
    return false;
  }
  fd.reset();
  SetLastError(0);
  return true;
}

std::uint32_t LinuxPrivateProfile::getString(const std::string& section, const std::string& key,
                                             const std::string& defaultValue,
                                             std::span<char> buffer, const std::string& path) {
  const std::optional<std::string> text = ReadFile(path);
  SetLastError(text ? 0 : errno);
  std::optional<std::string_view> value;
  if (text) value = profile_text::FindValue(*text, section, key);
  return profile_text::CopyValue(value.value_or(defaultValue), buffer);
}

bool LinuxPrivateProfile::writeString(const std::string& section, const std::string& key,
                                      const std::string& value, const std::string& path) {
  std::optional<std::string> text = ReadFile(path);
  if (!text) {
    if (errno != ENOENT) {
      SetLastError(errno);
      return false;  // unreadable: writing would lose what it holds
    }
    text.emplace();
  }
  const std::string updated = profile_text::SetValue(*text, section, key, value);
  if (updated == *text) {
    SetLastError(0);
    return true;
  }
  // Written in place and then cut to length: a read-only file stays as it is,
  // and the file keeps its owner, mode and links.
  const UniqueFd fd = OpenRegular(path, O_WRONLY | O_CREAT);
  if (!fd) {
    SetLastError(errno);
    return false;
  }
  if (!WriteAll(fd.get(), updated) ||
      ::ftruncate(fd.get(), static_cast<off_t>(updated.size())) != 0) {
    SetLastError(errno);
    return false;
  }
  SetLastError(0);
  return true;
}

LinuxClock::LinuxClock() {
  std::setlocale(LC_TIME, "");
}

namespace {
std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}
}  // namespace

// The locale's own short date, two-digit year and all, as the user set it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"
std::string LinuxClock::dateText() {
  const std::tm now = LocalNow();
  char text[128];
  return std::string(text, std::strftime(text, sizeof text, "%x", &now));
}
#pragma GCC diagnostic pop

std::string LinuxClock::timeText() {
  const std::tm now = LocalNow();
  char text[128];
  return std::string(text, std::strftime(text, sizeof text, "%X", &now));
}

}  // namespace tavrolin::linux_backend
