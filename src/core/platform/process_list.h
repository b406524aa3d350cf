#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace tavrolin {

// One entry of the system's process list. `imageName` is a NUL-terminated
// single-byte string owned by the snapshot that handed out the record.
struct ProcessRecord {
  std::uint32_t sessionId = 0;
  std::uint32_t processId = 0;
  const char* imageName = nullptr;
};

// The list as it was when it was taken; releasing it frees its buffer.
class ProcessSnapshot {
 public:
  virtual ~ProcessSnapshot() = default;
  virtual std::span<const ProcessRecord> records() const = 0;
};

class ProcessList {
 public:
  virtual ~ProcessList() = default;
  // Every process of the computer, in the system's order; nullptr on failure,
  // with the reason in the last error.
  virtual std::unique_ptr<ProcessSnapshot> enumerate() = 0;
};

}  // namespace tavrolin
