#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

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
  // Opens the process for reading and changing its affinity. Where the system
  // reuses identifiers quickly, the process must still run under `imageName`
  // once it is open: another program's process is never handed out. nullptr
  // on failure, with the reason in the last error.
  virtual std::unique_ptr<ProcessHandle> open(std::uint32_t processId,
                                              std::string_view imageName) = 0;
  // Sets the processors every thread of the process may run on: bit n is
  // processor n. True once every thread that still exists has it (the system
  // may narrow it, as a cpuset or a job does: affinity() says what took
  // effect). False on failure, with the reason in the last error.
  virtual bool setAffinity(ProcessHandle& process, std::uint64_t mask) = 0;
  // The processors the process may run on now; nullopt on failure.
  virtual std::optional<std::uint64_t> affinity(ProcessHandle& process) = 0;
  // Every processor of the machine that a process may be given; nullopt on
  // failure.
  virtual std::optional<std::uint64_t> allowedMask(ProcessHandle& process) = 0;
  // The threads that refused a mask while the rest of the process took it,
  // each named once for the life of the handle. Empty where the system sets
  // one mask for the whole process, and when the whole process refused.
  virtual std::vector<std::uint32_t> newlyRefusedThreads(ProcessHandle& process) = 0;
  // Gives `mask` to the threads of the process that may run on processors
  // outside it now: threads started since it was set, where the system does
  // not start them on it (Wine starts them on its own record of the
  // process's processors). A thread narrowed within the mask (by the game, or
  // by its user) keeps its own. Quiet: a thread that refuses is passed over,
  // unnamed. How many threads it moved; 0 where every thread keeps to the
  // process's mask by itself (Windows). nullopt once the process has ended,
  // with the reason in the last error.
  virtual std::optional<int> moveStrayThreads(ProcessHandle& process, std::uint64_t mask) = 0;
};

}  // namespace tavrolin
