#include "last_error_linux.h"

namespace tavrolin::linux_backend {

namespace {
thread_local int t_lastError = 0;
}

void SetLastError(int error) {
  t_lastError = error;
}

std::uint32_t LinuxLastError::code() const {
  return static_cast<std::uint32_t>(t_lastError);
}

}  // namespace tavrolin::linux_backend
