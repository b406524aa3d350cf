#pragma once

#include "platform/beeper.h"
#include "platform/process_control.h"
#include "platform/process_list.h"

namespace tavrolin::win32 {

// The terminal-services process list. Its wide-character form is used: the
// single-byte form returns no processes at all under some implementations.
// Names reach the core in the system's ANSI code page, as the core expects.
class WtsProcessList final : public ProcessList {
 public:
  std::unique_ptr<ProcessSnapshot> enumerate() override;
};

// Opens a process with only the rights an affinity change needs. The system
// keeps one mask for the whole process, which every thread's own mask lies
// within: no thread refuses on its own.
class WinProcessControl final : public ProcessControl {
 public:
  std::unique_ptr<ProcessHandle> open(std::uint32_t processId, std::string_view imageName) override;
  bool setAffinity(ProcessHandle& process, std::uint64_t mask) override;
  std::optional<std::uint64_t> affinity(ProcessHandle& process) override;
  std::optional<std::uint64_t> allowedMask(ProcessHandle& process) override;
  std::vector<std::uint32_t> newlyRefusedThreads(ProcessHandle& process) override;
  std::optional<int> moveStrayThreads(ProcessHandle& process, std::uint64_t mask) override;
};

class WinBeeper final : public Beeper {
 public:
  void beep(std::string_view imageName, std::uint32_t processId, std::uint64_t mask,
            std::string_view presets) override;
  void strayThreadsMoved(std::string_view imageName, std::uint32_t processId, std::uint64_t mask,
                         int count) override;
};

}  // namespace tavrolin::win32
