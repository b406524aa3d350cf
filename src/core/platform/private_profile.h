#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tavrolin {

// INI files ("private profiles"), read and written one key at a time.
class PrivateProfile {
 public:
  virtual ~PrivateProfile() = default;

  // Copies the key's value (or `defaultValue` when the file, section or key is
  // missing) into `buffer`, cut to buffer.size() - 1 characters and ended with
  // a NUL, and returns the number of characters copied without the NUL.
  virtual std::uint32_t getString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue, std::span<char> buffer,
                                  const std::string& path) = 0;
  // Sets the key: replaced where it stands, added to its section, the section
  // added to the file, the file created. False on failure.
  virtual bool writeString(const std::string& section, const std::string& key,
                           const std::string& value, const std::string& path) = 0;
};

}  // namespace tavrolin
