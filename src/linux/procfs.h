#pragma once

#include <string>
#include <string_view>

#include "platform/process_control.h"
#include "platform/process_list.h"
#include "platform/process_names.h"

namespace tavrolin::linux_backend {

// The image name of a process as /proc shows it: the last part of argv[0]
// after "/" or "\", so that a Windows game under Wine or Proton
// ("C:\Games\SupremeCommander.exe") is found by its Windows name. Kernel
// threads and zombies have no command line, so no name: none of them is a game.
std::string ImageNameFromCmdline(std::string_view cmdline);

// The process list and the presence query's names, both read from /proc.
// Processes that end during the scan are passed over.
class ProcFsProcesses final : public ProcessList, public ProcessNames {
 public:
  explicit ProcFsProcesses(std::string procRoot = "/proc") : root_(std::move(procRoot)) {}

  std::unique_ptr<ProcessSnapshot> enumerate() override;
  bool forEachName(std::string_view computerName,
                   const std::function<bool(std::string_view)>& visit) override;

 private:
  std::string root_;
};

// Affinity for every thread of a process (/proc/PID/task). A handle holds a
// pidfd and a descriptor of /proc/PID, so a recycled identifier is never
// touched: once the process has ended, every call on the handle fails.
class ProcFsControl final : public ProcessControl {
 public:
  std::unique_ptr<ProcessHandle> open(std::uint32_t processId) override;
  bool setAffinity(ProcessHandle& process, std::uint64_t mask) override;
  std::optional<std::uint64_t> allowedMask(ProcessHandle& process) override;
};

}  // namespace tavrolin::linux_backend
