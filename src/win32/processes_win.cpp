#include "processes_win.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <wtsapi32.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "wide_text.h"
#include "win_handles.h"

namespace tavrolin::win32 {

namespace {

// Frees a buffer that the terminal-services API allocated.
struct WtsDeleter {
  void operator()(WTS_PROCESS_INFOW* buffer) const { ::WTSFreeMemory(buffer); }
};

class WtsSnapshot final : public ProcessSnapshot {
 public:
  WtsSnapshot(WTS_PROCESS_INFOW* buffer, DWORD count) : buffer_(buffer) {
    names_.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
      // A name the ANSI code page lacks characters for gets its default ones.
      const wchar_t* name = buffer[i].pProcessName;
      names_.push_back(name == nullptr ? std::string() : Narrow(name, CP_ACP));
    }
    // The names no longer move: the records may point into them.
    records_.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
      records_.push_back({buffer[i].SessionId, buffer[i].ProcessId, names_[i].c_str()});
    }
  }
  std::span<const ProcessRecord> records() const override { return records_; }

 private:
  std::unique_ptr<WTS_PROCESS_INFOW, WtsDeleter> buffer_;
  std::vector<std::string> names_;
  std::vector<ProcessRecord> records_;
};

class WinProcessHandle final : public ProcessHandle {
 public:
  explicit WinProcessHandle(HANDLE handle) : handle_(handle) {}
  std::int64_t value() const override {
    return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(handle_.get()));
  }
  HANDLE get() const { return handle_.get(); }

 private:
  UniqueHandle handle_;
};

}  // namespace

std::unique_ptr<ProcessSnapshot> WtsProcessList::enumerate() {
  WTS_PROCESS_INFOW* buffer = nullptr;
  DWORD count = 0;
  if (::WTSEnumerateProcessesW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &buffer, &count) == 0) {
    return nullptr;
  }
  return std::make_unique<WtsSnapshot>(buffer, count);
}

// The name is not asked again here: Windows XP's kernel has no call that
// names an open process's image (only an extra DLL does), and the lookup and
// the open are moments apart. A known gap, unlike on Linux.
std::unique_ptr<ProcessHandle> WinProcessControl::open(std::uint32_t processId,
                                                       std::string_view /*imageName*/) {
  HANDLE handle =
      ::OpenProcess(PROCESS_SET_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (handle == nullptr && ::GetLastError() == ERROR_ACCESS_DENIED) {
    // Systems older than the limited right refuse it as unknown.
    handle = ::OpenProcess(PROCESS_SET_INFORMATION | PROCESS_QUERY_INFORMATION, FALSE, processId);
  }
  if (handle == nullptr) return nullptr;
  return std::make_unique<WinProcessHandle>(handle);
}

bool WinProcessControl::setAffinity(ProcessHandle& process, std::uint64_t mask) {
  if (mask > std::numeric_limits<DWORD_PTR>::max()) {
    // Wider than this build's masks: cutting it would set another mask.
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return ::SetProcessAffinityMask(static_cast<WinProcessHandle&>(process).get(),
                                  static_cast<DWORD_PTR>(mask)) != 0;
}

namespace {

// A process's affinity mask and the processors the system has.
struct AffinityMasks {
  std::uint64_t ofProcess;
  std::uint64_t ofSystem;
};

// Nothing on failure, with the system's last error kept.
std::optional<AffinityMasks> MasksOf(ProcessHandle& process) {
  DWORD_PTR ofProcess = 0;
  DWORD_PTR ofSystem = 0;
  if (::GetProcessAffinityMask(static_cast<WinProcessHandle&>(process).get(), &ofProcess,
                               &ofSystem) == 0) {
    return std::nullopt;
  }
  return AffinityMasks{ofProcess, ofSystem};
}

}  // namespace

std::optional<std::uint64_t> WinProcessControl::affinity(ProcessHandle& process) {
  const std::optional<AffinityMasks> masks = MasksOf(process);
  if (!masks) return std::nullopt;
  return masks->ofProcess;
}

std::optional<std::uint64_t> WinProcessControl::allowedMask(ProcessHandle& process) {
  const std::optional<AffinityMasks> masks = MasksOf(process);
  if (!masks) return std::nullopt;
  return masks->ofSystem;
}

std::vector<std::uint32_t> WinProcessControl::newlyRefusedThreads(ProcessHandle& /*process*/) {
  return {};
}

std::optional<int> WinProcessControl::moveStrayThreads(ProcessHandle& /*process*/,
                                                       std::uint64_t /*mask*/) {
  // Threads started later run within the process's mask already.
  ::SetLastError(ERROR_SUCCESS);
  return 0;
}

void WinBeeper::beep(std::string_view /*imageName*/, std::uint32_t /*processId*/,
                     std::uint64_t /*mask*/, std::string_view /*presets*/) {
  ::MessageBeep(MB_OK);
}

void WinBeeper::strayThreadsMoved(std::string_view /*imageName*/, std::uint32_t /*processId*/,
                                  std::uint64_t /*mask*/, int /*count*/) {}

}  // namespace tavrolin::win32
