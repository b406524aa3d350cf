#include "config/ini_read_write.h"

#include <array>

namespace tavrolin {

std::string IniRead(PrivateProfile& profile, const std::string& section, const std::string& key,
                    const std::string& file) {
  std::array<char, 255> buffer{};
  const std::uint32_t copied = profile.getString(section, key, "", buffer, file);
  return std::string(buffer.data(), std::min<std::size_t>(copied, buffer.size() - 1));
}

void IniWrite(PrivateProfile& profile, const std::string& section, const std::string& key,
              const std::string& value, const std::string& file) {
  profile.writeString(section, key, value, file);
}

}  // namespace tavrolin
