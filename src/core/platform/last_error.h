#pragma once

#include <cstdint>

namespace tavrolin {

// The error code of the most recent failing operating-system call.
class LastError {
 public:
  virtual ~LastError() = default;
  virtual std::uint32_t code() const = 0;
};

}  // namespace tavrolin
