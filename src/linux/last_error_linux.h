#pragma once

#include <cstdint>

#include "platform/last_error.h"

namespace tavrolin::linux_backend {

// Every backend call notes its errno here (0 on success), as the system's own
// last-error code would be.
void SetLastError(int error);

class LinuxLastError final : public LastError {
 public:
  std::uint32_t code() const override;
};

}  // namespace tavrolin::linux_backend
