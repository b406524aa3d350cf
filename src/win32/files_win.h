#pragma once

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/last_error.h"
#include "platform/private_profile.h"

namespace tavrolin::win32 {

class WinFileSystem final : public FileSystem {
 public:
  FileStatus status(const std::string& path) const override;
  std::optional<std::string> readText(const std::string& path) const override;
  bool writeText(const std::string& path, OpenMode mode, std::string_view bytes) override;
};

// The system's own profile functions.
class WinPrivateProfile final : public PrivateProfile {
 public:
  std::uint32_t getString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, std::span<char> buffer,
                          const std::string& path) override;
  bool writeString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path) override;
};

// The user's short date and time formats.
class WinClock final : public Clock {
 public:
  std::string dateText() override;
  std::string timeText() override;
};

class WinLastError final : public LastError {
 public:
  std::uint32_t code() const override;
};

}  // namespace tavrolin::win32
