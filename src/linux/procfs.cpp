#include "procfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "last_error_linux.h"
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

// Calls `visit(pid, name)` for every process below `root`; false when the
// directory cannot be read.
template <typename Visit>
bool ScanProcesses(const std::string& root, Visit&& visit) {
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

 private:
  UniqueFd pidfd_;
  UniqueFd procDir_;
};

}  // namespace

std::string ImageNameFromCmdline(std::string_view cmdline) {
  const std::string_view argv0 = cmdline.substr(0, cmdline.find('\0'));
  const std::size_t cut = argv0.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? argv0 : argv0.substr(cut + 1));
}

std::unique_ptr<ProcessSnapshot> ProcFsProcesses::enumerate() {
  auto snapshot = std::make_unique<VectorSnapshot>();
  const bool ok = ScanProcesses(root_, [&](std::uint32_t pid, std::string name) {
    snapshot->add(pid, std::move(name));
    return true;
  });
  if (!ok) return nullptr;
  snapshot->seal();
  return snapshot;
}

bool ProcFsProcesses::forEachName(std::string_view /*computerName: always this one*/,
                                  const std::function<bool(std::string_view)>& visit) {
  return ScanProcesses(root_, [&](std::uint32_t, const std::string& name) { return visit(name); });
}

std::unique_ptr<ProcessHandle> ProcFsControl::open(std::uint32_t processId) {
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
  return std::make_unique<ProcFsHandle>(std::move(pidfd), std::move(procDir));
}

bool ProcFsControl::setAffinity(ProcessHandle& process, std::uint64_t mask) {
  auto& handle = static_cast<ProcFsHandle&>(process);
  if (!handle.alive()) {
    SetLastError(ESRCH);
    return false;
  }
  cpu_set_t set;
  CPU_ZERO(&set);
  for (unsigned cpu = 0; cpu < 64; ++cpu) {
    if ((mask >> cpu & 1U) != 0) CPU_SET(cpu, &set);
  }
  UniqueFd taskFd(::openat(handle.procDir(), "task", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  UniqueDir tasks(taskFd ? ::fdopendir(taskFd.get()) : nullptr);
  if (!tasks) {
    SetLastError(errno);
    return false;
  }
  (void)taskFd.release();
  int failure = 0;
  int threadsSet = 0;
  while (const dirent* entry = ::readdir(tasks.get())) {
    std::uint32_t tid = 0;
    if (!ParseId(entry->d_name, tid)) continue;
    if (::sched_setaffinity(static_cast<pid_t>(tid), sizeof set, &set) == 0) {
      ++threadsSet;
    } else if (errno != ESRCH) {  // a thread that has just ended does not count
      failure = errno;
    }
  }
  if (failure != 0 || threadsSet == 0) {
    SetLastError(failure != 0 ? failure : ESRCH);
    return false;
  }
  SetLastError(0);
  return true;
}

std::optional<std::uint64_t> ProcFsControl::allowedMask(ProcessHandle& /*process*/) {
  // Every processor this program may use, which is every processor the
  // system lets its programs have.
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) {
    SetLastError(errno);
    return std::nullopt;
  }
  std::uint64_t mask = 0;
  for (unsigned cpu = 0; cpu < 64; ++cpu) {
    if (CPU_ISSET(cpu, &set)) mask |= std::uint64_t{1} << cpu;
  }
  SetLastError(0);
  return mask;
}

}  // namespace tavrolin::linux_backend
