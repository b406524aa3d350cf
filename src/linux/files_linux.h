#pragma once

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/private_profile.h"

namespace tavrolin::linux_backend {

class LinuxFileSystem final : public FileSystem {
 public:
  FileStatus status(const std::string& path) const override;
  std::optional<std::string> readText(const std::string& path) const override;
  bool writeText(const std::string& path, OpenMode mode, std::string_view bytes) override;
};

// The profile format over files, through the portable reader and writer.
class LinuxPrivateProfile final : public PrivateProfile {
 public:
  std::uint32_t getString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, std::span<char> buffer,
                          const std::string& path) override;
  bool writeString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path) override;
};

// The locale's own date and time (LC_TIME from the environment).
class LinuxClock final : public Clock {
 public:
  LinuxClock();
  std::string dateText() override;
  std::string timeText() override;
};

}  // namespace tavrolin::linux_backend
