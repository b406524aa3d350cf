#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_control.h"
#include "platform/process_list.h"
#include "platform/process_names.h"

namespace tavrolin::linux_backend {

// The image name of a process as /proc shows it: the last part of argv[0]
// after "/" or "\", so that a Windows game under Wine or Proton
// ("C:\Games\SupremeCommander.exe") is found by its Windows name. Kernel
// threads and zombies have no command line, so no name: none of them is a game.
std::string ImageNameFromCmdline(std::string_view cmdline);

// The user whose processes the program looks at: its own, or nullopt (every
// user's) when it runs as root. Another user's process that takes the game's
// name can then neither be adjusted in its place nor stand in its way.
std::optional<std::uint32_t> WatchedUser();

// The process list and the presence query's names, both read from /proc: the
// processes of `user` only (the owner of /proc/PID), or every process.
// Processes that end during the scan are passed over.
class ProcFsProcesses final : public ProcessList, public ProcessNames {
 public:
  explicit ProcFsProcesses(std::string procRoot = "/proc",
                           std::optional<std::uint32_t> user = WatchedUser())
      : root_(std::move(procRoot)), user_(user) {}

  std::unique_ptr<ProcessSnapshot> enumerate() override;
  bool forEachName(std::string_view computerName,
                   const std::function<bool(std::string_view)>& visit) override;

 private:
  std::string root_;
  std::optional<std::uint32_t> user_;
};

// What one walk over a process's threads did.
struct ThreadWalk {
  int changed = 0;                     // threads whose processors it changed
  int passes = 0;                      // passes over /proc/PID/task
  bool settled = false;                // the last pass found no thread that differs
  bool anyTook = false;                // some thread has the mask (or what its cpuset made of it)
  std::vector<std::uint32_t> refused;  // threads that refused it, in the order met
  int error = 0;  // errno of the first refusal, or why the threads could not be listed
};

// How many passes a walk makes at most before it gives up on threads that
// keep changing (a game that sets its threads' masks itself would otherwise
// keep it going for ever).
inline constexpr int kMaxThreadPasses = 64;

// Gives every thread of the process whose /proc/PID directory is open as
// `procDir` the processors of `mask` (bit n: processor n). Threads start and
// end meanwhile, and a new thread takes the mask of the thread that made it,
// which may not have been changed yet: so the walk passes over the threads
// again until a pass finds none that differs, at most kMaxThreadPasses times.
// A thread that has the mask, or what the system made of it for another
// thread (a cpuset narrows it), counts as done. So a thread whose own cpuset
// narrows the mask to just processor 0 would leave the others pinned there;
// threads of one game split over cpusets that way are not worth a system
// call per thread per poll. One that refuses is tried once per walk and left
// out of the passes after that. With `outsideOnly`, a thread whose processors
// are all in the mask counts as done too: a thread that the game or its user
// narrowed within the mask keeps its own.
ThreadWalk SetThreadAffinities(int procDir, std::uint64_t mask, bool outsideOnly = false);

// The processors the process's threads may run on, together (each thread has
// its own mask on Linux; what the process as a whole may use is their union,
// which is what a process mask means on Windows). nullopt with errno set when
// no thread could be read.
std::optional<std::uint64_t> ThreadAffinityUnion(int procDir);

// The processors online on the machine; nullopt when that cannot be told.
std::optional<std::uint64_t> OnlineProcessors();

// Affinity for every thread of a process (/proc/PID/task). A handle holds a
// pidfd and a descriptor of /proc/PID, so a recycled identifier is never
// touched: once the process has ended, every call on the handle fails, and
// open() checks the image name once both are held.
class ProcFsControl final : public ProcessControl {
 public:
  std::unique_ptr<ProcessHandle> open(std::uint32_t processId, std::string_view imageName) override;
  bool setAffinity(ProcessHandle& process, std::uint64_t mask) override;
  std::optional<std::uint64_t> affinity(ProcessHandle& process) override;
  std::optional<std::uint64_t> allowedMask(ProcessHandle& process) override;
  std::vector<std::uint32_t> newlyRefusedThreads(ProcessHandle& process) override;
  std::optional<int> moveStrayThreads(ProcessHandle& process, std::uint64_t mask) override;
};

}  // namespace tavrolin::linux_backend
