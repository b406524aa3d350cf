#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace tavrolin {

// An open process. It stays bound to the process it was opened for, and
// closing it (destroying it) releases the system's handle.
class ProcessHandle {
 public:
  virtual ~ProcessHandle() = default;
  // The handle's number as the system gives it, for reports.
  virtual std::int64_t value() const = 0;
};

class ProcessControl {
 public:
  virtual ~ProcessControl() = default;
  // Opens the process for changing its affinity; nullptr on failure, with the
  // reason in the last error.
  virtual std::unique_ptr<ProcessHandle> open(std::uint32_t processId) = 0;
  // Sets the processors every thread of the process may run on: bit n is
  // processor n. False on failure, with the reason in the last error.
  virtual bool setAffinity(ProcessHandle& process, std::uint64_t mask) = 0;
  // The processors the process may be given at all; nullopt on failure.
  virtual std::optional<std::uint64_t> allowedMask(ProcessHandle& process) = 0;
};

}  // namespace tavrolin
