#include "procfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

#include "last_error_linux.h"
#include "processes/process_lookup.h"
#include "sysfs_topology.h"
#include "unique_fd.h"

namespace tavrolin::linux_backend {

namespace {

// Closes a DIR* with its descriptor.
struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

bool ParseId(const char* text, std::uint32_t& id) {
  if (*text == '\0') return false;
  std::uint64_t value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
    if (value > UINT32_MAX) return false;
  }
  id = static_cast<std::uint32_t>(value);
  return true;
}

// Reads at most `limit` bytes of a small /proc file below `dirFd`, stopping
// early at `stop` (every read is a system call, and a scan makes hundreds).
bool ReadSmall(int dirFd, const char* path, std::string& out, std::size_t limit, char stop) {
  UniqueFd fd(::openat(dirFd, path, O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  out.resize(limit);
  std::size_t used = 0;
  while (used < limit) {
    const ssize_t got = ::read(fd.get(), out.data() + used, limit - used);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    const std::size_t before = used;
    used += static_cast<std::size_t>(got);
    if (out.find(stop, before) < used) break;
  }
  out.resize(used);
  return true;
}

// Calls `visit(pid, name)` for every process below `root` (of `user` only,
// when given); false when the directory cannot be read.
template <typename Visit>
bool ScanProcesses(const std::string& root, std::optional<std::uint32_t> user, Visit&& visit) {
  UniqueDir dir(::opendir(root.c_str()));
  if (!dir) {
    SetLastError(errno);
    return false;
  }
  const int rootFd = ::dirfd(dir.get());
  std::string cmdline;
  std::string path;
  while (const dirent* entry = ::readdir(dir.get())) {
    std::uint32_t pid = 0;
    if (!ParseId(entry->d_name, pid)) continue;
    if (user) {
      struct stat info {};
      if (::fstatat(rootFd, entry->d_name, &info, 0) != 0 || info.st_uid != *user) continue;
    }
    path.assign(entry->d_name).append("/cmdline");
    // argv[0] is all we need; a longer command line is cut.
    if (!ReadSmall(rootFd, path.c_str(), cmdline, 4096, '\0')) continue;  // it has ended
    if (!visit(pid, ImageNameFromCmdline(cmdline))) break;
  }
  SetLastError(0);
  return true;
}

class VectorSnapshot final : public ProcessSnapshot {
 public:
  void add(std::uint32_t pid, std::string name) {
    names_.push_back(std::move(name));
    pids_.push_back(pid);
  }
  void seal() {
    records_.reserve(pids_.size());
    for (std::size_t i = 0; i < pids_.size(); ++i) {
      records_.push_back({0, pids_[i], names_[i].c_str()});
    }
  }
  std::span<const ProcessRecord> records() const override { return records_; }

 private:
  std::vector<std::string> names_;
  std::vector<std::uint32_t> pids_;
  std::vector<ProcessRecord> records_;
};

long PidfdOpen(pid_t pid) {
#ifdef SYS_pidfd_open
  return ::syscall(SYS_pidfd_open, pid, 0);
#else
  errno = ENOSYS;
  return -1;
#endif
}

class ProcFsHandle final : public ProcessHandle {
 public:
  ProcFsHandle(UniqueFd pidfd, UniqueFd procDir)
      : pidfd_(std::move(pidfd)), procDir_(std::move(procDir)) {}
  std::int64_t value() const override { return pidfd_ ? pidfd_.get() : procDir_.get(); }

  // False once the process has ended (its identifier may be reused by then).
  bool alive() const {
    if (pidfd_) {
#ifdef SYS_pidfd_send_signal
      // EPERM: it runs, we may only not signal it.
      return ::syscall(SYS_pidfd_send_signal, pidfd_.get(), 0, nullptr, 0) == 0 || errno == EPERM;
#endif
    }
    // Without pidfd: /proc/PID of an ended process no longer answers.
    UniqueFd probe(::openat(procDir_.get(), "stat", O_RDONLY | O_CLOEXEC));
    return static_cast<bool>(probe);
  }
  int procDir() const {
    return procDir_.get();
  }

  // The threads a mask was just refused by; those not named before are
  // handed out once.
  void noteRefused(const std::vector<std::uint32_t>& threads) {
    refused_ = threads;
  }
  std::vector<std::uint32_t> takeNewlyRefused() {
    std::vector<std::uint32_t> fresh;
    for (const std::uint32_t thread : refused_) {
      if (named_.insert(thread).second) fresh.push_back(thread);
    }
    refused_.clear();
    return fresh;
  }

 private:
  UniqueFd pidfd_;
  UniqueFd procDir_;
  std::vector<std::uint32_t> refused_;
  std::set<std::uint32_t> named_;
};

cpu_set_t ToCpuSet(std::uint64_t mask) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (unsigned cpu = 0; cpu < 64; ++cpu) {
    if ((mask >> cpu & 1U) != 0) CPU_SET(cpu, &set);
  }
  return set;
}

std::uint64_t ToMask(const cpu_set_t& set) {
  std::uint64_t mask = 0;
  for (unsigned cpu = 0; cpu < 64; ++cpu) {
    if (CPU_ISSET(cpu, &set)) mask |= std::uint64_t{1} << cpu;
  }
  return mask;
}

// Calls `visit(tid)` for every thread listed in /proc/PID/task now; false
// with errno set when the list cannot be read.
template <typename Visit>
bool ForEachThread(int procDir, Visit&& visit) {
  UniqueFd taskFd(::openat(procDir, "task", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  UniqueDir tasks(taskFd ? ::fdopendir(taskFd.get()) : nullptr);
  if (!tasks) return false;
  (void)taskFd.release();  // the DIR owns it now
  while (const dirent* entry = ::readdir(tasks.get())) {
    std::uint32_t tid = 0;
    if (ParseId(entry->d_name, tid)) visit(static_cast<pid_t>(tid));
  }
  return true;
}

}  // namespace

std::string ImageNameFromCmdline(std::string_view cmdline) {
  const std::string_view argv0 = cmdline.substr(0, cmdline.find('\0'));
  const std::size_t cut = argv0.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? argv0 : argv0.substr(cut + 1));
}

std::optional<std::uint32_t> WatchedUser() {
  const uid_t user = ::geteuid();
  if (user == 0) return std::nullopt;
  return static_cast<std::uint32_t>(user);
}

std::unique_ptr<ProcessSnapshot> ProcFsProcesses::enumerate() {
  auto snapshot = std::make_unique<VectorSnapshot>();
  const bool ok = ScanProcesses(root_, user_, [&](std::uint32_t pid, std::string name) {
    snapshot->add(pid, std::move(name));
    return true;
  });
  if (!ok) return nullptr;
  snapshot->seal();
  return snapshot;
}

bool ProcFsProcesses::forEachName(std::string_view /*computerName: always this one*/,
                                  const std::function<bool(std::string_view)>& visit) {
  return ScanProcesses(root_, user_,
                       [&](std::uint32_t, const std::string& name) { return visit(name); });
}

ThreadWalk SetThreadAffinities(int procDir, std::uint64_t mask, bool outsideOnly) {
  ThreadWalk walk;
  const cpu_set_t wanted = ToCpuSet(mask);
  // What counts as done: the mask, and whatever the system made of it for a
  // thread (the same cpuset makes the same of it for the next one); with
  // `outsideOnly`, any part of the mask.
  std::vector<cpu_set_t> taken{wanted};
  const auto isDone = [&](const cpu_set_t& set) {
    if (outsideOnly) {
      cpu_set_t within;
      CPU_AND(&within, &set, &wanted);
      if (CPU_EQUAL(&within, &set) != 0) return true;
    }
    return std::any_of(taken.begin(), taken.end(),
                       [&](const cpu_set_t& done) { return CPU_EQUAL(&done, &set) != 0; });
  };
  while (walk.passes < kMaxThreadPasses) {
    ++walk.passes;
    bool differed = false;
    const bool listed = ForEachThread(procDir, [&](pid_t tid) {
      if (std::ranges::find(walk.refused, static_cast<std::uint32_t>(tid)) != walk.refused.end())
        return;
      cpu_set_t current;
      CPU_ZERO(&current);
      if (::sched_getaffinity(tid, sizeof current, &current) != 0) return;  // it has ended
      if (isDone(current)) {
        walk.anyTook = true;
        return;
      }
      differed = true;
      if (::sched_setaffinity(tid, sizeof wanted, &wanted) == 0) {
        walk.anyTook = true;
        cpu_set_t given;
        CPU_ZERO(&given);
        if (::sched_getaffinity(tid, sizeof given, &given) == 0) {
          // A thread in a cpuset of its own may get what it had already.
          if (CPU_EQUAL(&given, &current) == 0) ++walk.changed;
          if (!isDone(given)) taken.push_back(given);
        }
      } else if (errno != ESRCH) {  // a thread that has just ended does not count
        walk.refused.push_back(static_cast<std::uint32_t>(tid));
        if (walk.error == 0) walk.error = errno;
      }
    });
    if (!listed) {
      walk.error = errno;
      return walk;
    }
    if (!differed) {
      walk.settled = true;
      break;
    }
  }
  return walk;
}

std::optional<std::uint64_t> ThreadAffinityUnion(int procDir) {
  std::uint64_t mask = 0;
  bool any = false;
  const bool listed = ForEachThread(procDir, [&](pid_t tid) {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(tid, sizeof set, &set) != 0) return;  // it has ended
    mask |= ToMask(set);
    any = true;
  });
  if (!listed) return std::nullopt;
  if (!any) {
    errno = ESRCH;
    return std::nullopt;
  }
  return mask;
}

std::optional<std::uint64_t> OnlineProcessors() {
  return ReadOnlineProcessors("");
}

std::unique_ptr<ProcessHandle> ProcFsControl::open(std::uint32_t processId,
                                                   std::string_view imageName) {
  const auto pid = static_cast<pid_t>(processId);
  UniqueFd pidfd(static_cast<int>(PidfdOpen(pid)));
  if (!pidfd && errno != ENOSYS) {
    SetLastError(errno);
    return nullptr;
  }
  const std::string path = "/proc/" + std::to_string(processId);
  UniqueFd procDir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!procDir) {
    SetLastError(errno);
    return nullptr;
  }
  auto handle = std::make_unique<ProcFsHandle>(std::move(pidfd), std::move(procDir));
  // The identifier may have been given to another program since the scan:
  // once the handle holds the process (and it still runs, so /proc/PID is
  // that process), it must still be the game.
  std::string cmdline;
  if (!handle->alive() || !ReadSmall(handle->procDir(), "cmdline", cmdline, 4096, '\0') ||
      UpperCase(ImageNameFromCmdline(cmdline)) != UpperCase(imageName)) {
    SetLastError(ESRCH);
    return nullptr;
  }
  // Ask now whether we may change it, as the system's open would: setting a
  // thread's own mask again changes nothing but fails without the right.
  cpu_set_t current;
  CPU_ZERO(&current);
  if (::sched_getaffinity(pid, sizeof current, &current) != 0 ||
      ::sched_setaffinity(pid, sizeof current, &current) != 0) {
    SetLastError(errno);
    return nullptr;
  }
  SetLastError(0);
  return handle;
}

bool ProcFsControl::setAffinity(ProcessHandle& process, std::uint64_t mask) {
  auto& handle = static_cast<ProcFsHandle&>(process);
  if (!handle.alive()) {
    SetLastError(ESRCH);
    return false;
  }
  const ThreadWalk walk = SetThreadAffinities(handle.procDir(), mask);
  // A process that refused as a whole is no matter of single threads.
  handle.noteRefused(walk.anyTook ? walk.refused : std::vector<std::uint32_t>{});
  if (!walk.anyTook || !walk.refused.empty()) {
    SetLastError(walk.error != 0 ? walk.error : ESRCH);
    return false;
  }
  if (!walk.settled) {  // threads kept changing: some may not have it
    SetLastError(EAGAIN);
    return false;
  }
  SetLastError(0);
  return true;
}

std::optional<std::uint64_t> ProcFsControl::affinity(ProcessHandle& process) {
  auto& handle = static_cast<ProcFsHandle&>(process);
  if (!handle.alive()) {
    SetLastError(ESRCH);
    return std::nullopt;
  }
  const std::optional<std::uint64_t> mask = ThreadAffinityUnion(handle.procDir());
  SetLastError(mask ? 0 : errno);
  return mask;
}

std::optional<std::uint64_t> ProcFsControl::allowedMask(ProcessHandle& /*process*/) {
  // Every processor online: the system narrows it to the game's cpuset
  // itself, where it has one.
  const std::optional<std::uint64_t> online = OnlineProcessors();
  SetLastError(online ? 0 : ENOENT);
  return online;
}

std::vector<std::uint32_t> ProcFsControl::newlyRefusedThreads(ProcessHandle& process) {
  return static_cast<ProcFsHandle&>(process).takeNewlyRefused();
}

std::optional<int> ProcFsControl::moveStrayThreads(ProcessHandle& process, std::uint64_t mask) {
  auto& handle = static_cast<ProcFsHandle&>(process);
  if (!handle.alive()) {
    SetLastError(ESRCH);
    return std::nullopt;
  }
  // Threads that refuse are passed over unnamed: naming them would repeat at
  // every poll.
  const int moved = SetThreadAffinities(handle.procDir(), mask, true).changed;
  SetLastError(0);
  return moved;
}

}  // namespace tavrolin::linux_backend
