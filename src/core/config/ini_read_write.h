#pragma once

#include <string>

#include "platform/private_profile.h"

namespace tavrolin {

// The key's value, or the empty text when the file, section or key is missing.
// Values come back cut to 254 characters.
std::string IniRead(PrivateProfile& profile, const std::string& section, const std::string& key,
                    const std::string& file);

// Sets the key. A failed write is ignored: the value simply stays as it was.
void IniWrite(PrivateProfile& profile, const std::string& section, const std::string& key,
              const std::string& value, const std::string& file);

}  // namespace tavrolin
