#include "fake_platform.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "config/profile_text.h"

namespace tavrolin::fakes {

namespace {
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kFileExists = 80;
constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::uint32_t kInvalidArgument = 22;  // as Linux refuses a mask outside a cpuset
constexpr std::uint32_t kBufferOverflow = 111;
}  // namespace

// --- FakeEnvironment ---

bool FakeEnvironment::computerName(std::span<char> buffer, std::uint32_t& size) {
  if (computerNameError) {
    lastError_.value = *computerNameError;
    return false;
  }
  if (hostName.size() >= buffer.size()) {
    lastError_.value = kBufferOverflow;
    size = static_cast<std::uint32_t>(hostName.size() + 1);
    return false;
  }
  // Like the system call: the name and a NUL; the rest of the buffer untouched.
  std::memcpy(buffer.data(), hostName.c_str(), hostName.size() + 1);
  size = static_cast<std::uint32_t>(hostName.size());
  return true;
}

// --- FakeFileSystem ---

FileStatus FakeFileSystem::status(const std::string& path) const {
  if (const auto error = statusErrors.find(path); error != statusErrors.end()) {
    lastError_.value = error->second;
    return {FileStatus::kOther};
  }
  lastError_.value = 0;
  if (directories.contains(path)) return {FileStatus::kOther};
  if (!files.contains(path)) return {FileStatus::kNotFound};
  if (hidden.contains(path)) return {FileStatus::kOther};
  return {FileStatus::kPlainFile, files.at(path).size()};
}

std::optional<std::string> FakeFileSystem::readText(const std::string& path) const {
  if (!files.contains(path) || directories.contains(path)) {
    lastError_.value = 2;  // file not found
    return std::nullopt;
  }
  return files.at(path);
}

bool FakeFileSystem::writeText(const std::string& path, OpenMode mode, std::string_view bytes) {
  if (readOnly.contains(path) || directories.contains(path)) {
    lastError_.value = kAccessDenied;
    return false;
  }
  if (mode == OpenMode::kCreateNew && files.contains(path)) {
    lastError_.value = kFileExists;
    return false;
  }
  std::string& text = files[path];
  if (mode == OpenMode::kFromStart) text.clear();
  text.append(bytes);
  ++writes;
  return true;
}

// --- FakeProfile ---

std::uint32_t FakeProfile::getString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, std::span<char> buffer,
                                     const std::string& path) {
  const std::optional<std::string> text = files_.readText(path);
  const std::optional<std::string_view> value =
      text ? profile_text::FindValue(*text, section, key) : std::nullopt;
  return profile_text::CopyValue(value.value_or(defaultValue), buffer);
}

bool FakeProfile::writeString(const std::string& section, const std::string& key,
                              const std::string& value, const std::string& path) {
  const std::string old = files_.readText(path).value_or("");
  return files_.writeText(path, OpenMode::kFromStart,
                          profile_text::SetValue(old, section, key, value));
}

// --- SimulatedTime ---

class SimulatedTime::SimTimer final : public Timer {
 public:
  SimTimer(SimulatedTime& time, std::function<void()> onTick)
      : time_(time), onTick_(std::move(onTick)) {
    time_.timers_.push_back(this);
  }
  ~SimTimer() override { std::erase(time_.timers_, this); }

  void setInterval(std::uint32_t milliseconds) override {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    due_ = time_.now_ + interval_;
  }
  std::uint32_t interval() const override { return interval_; }
  void setEnabled(bool enabled) override {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    due_ = time_.now_ + interval_;
  }
  bool enabled() const override { return enabled_; }

  bool dueBy(std::uint64_t moment) const {
    return enabled_ && interval_ > 0 && !ticking_ && due_ <= moment;
  }
  std::uint64_t due() const { return due_; }
  void tick() {
    due_ = time_.now_ + interval_;
    ticking_ = true;
    onTick_();
    ticking_ = false;
  }

 private:
  SimulatedTime& time_;
  std::function<void()> onTick_;
  std::uint32_t interval_ = 0;
  bool enabled_ = false;
  bool ticking_ = false;
  std::uint64_t due_ = 0;
};

std::unique_ptr<Timer> SimulatedTime::createTimer(std::function<void()> onTick) {
  return std::make_unique<SimTimer>(*this, std::move(onTick));
}

void SimulatedTime::runPosted() {
  std::vector<std::function<void()>> events;
  events.swap(posted_);
  for (auto& event : events) event();
}

void SimulatedTime::handleWaitingEvents() {
  ++pumps_;
  runPosted();
  const std::vector<SimTimer*> timers = timers_;
  for (SimTimer* timer : timers) {
    if (timer->dueBy(now_)) timer->tick();
  }
}

void SimulatedTime::advance(std::uint64_t milliseconds) {
  const std::uint64_t target = now_ + milliseconds;
  runPosted();
  for (;;) {
    SimTimer* next = nullptr;
    for (SimTimer* timer : timers_) {
      if (timer->dueBy(target) && (next == nullptr || timer->due() < next->due())) next = timer;
    }
    if (next == nullptr) break;
    now_ = std::max(now_, next->due());
    next->tick();
  }
  now_ = target;
}

// --- FakeProcesses ---

namespace {

class FakeSnapshot final : public ProcessSnapshot {
 public:
  explicit FakeSnapshot(const std::vector<FakeProcesses::Process>& processes) {
    for (const auto& process : processes) names_.push_back(process.name);
    for (std::size_t i = 0; i < processes.size(); ++i) {
      records_.push_back({1, processes[i].pid, names_[i].c_str()});
    }
  }
  std::span<const ProcessRecord> records() const override { return records_; }

 private:
  std::vector<std::string> names_;
  std::vector<ProcessRecord> records_;
};

class FakeHandle final : public ProcessHandle {
 public:
  FakeHandle(std::uint32_t pid, int& openHandles) : pid_(pid), openHandles_(openHandles) {
    ++openHandles_;
  }
  ~FakeHandle() override { --openHandles_; }
  std::int64_t value() const override { return 0x100 + pid_; }
  std::uint32_t pid() const { return pid_; }
  std::set<std::uint32_t> namedThreads;
  std::vector<std::uint32_t> refusedThreads;  // by the last mask, not yet named

 private:
  std::uint32_t pid_;
  int& openHandles_;
};

}  // namespace

std::unique_ptr<ProcessSnapshot> FakeProcesses::enumerate() {
  if (listError) {
    lastError_.value = *listError;
    return nullptr;
  }
  return std::make_unique<FakeSnapshot>(processes);
}

bool FakeProcesses::forEachName(std::string_view computerName,
                                const std::function<bool(std::string_view)>& visit) {
  ++namesQueries;
  computerNamesAsked.emplace_back(computerName);
  if (namesError) {
    lastError_.value = *namesError;
    return false;
  }
  for (const auto& process : processes) {
    ++namesVisited;
    if (!visit(process.name)) break;
  }
  return true;
}

std::unique_ptr<ProcessHandle> FakeProcesses::open(std::uint32_t processId,
                                                   std::string_view imageName) {
  ++opens;
  if (openError) {
    lastError_.value = *openError;
    return nullptr;
  }
  const Process* process = find(processId);
  if (process == nullptr || process->name != imageName) {  // gone, or the id is another's now
    lastError_.value = kInvalidParameter;
    return nullptr;
  }
  return std::make_unique<FakeHandle>(processId, openHandles);
}

bool FakeProcesses::setAffinity(ProcessHandle& process, std::uint64_t mask) {
  auto& handle = static_cast<FakeHandle&>(process);
  Process* target = find(handle.pid());
  const bool valid = target != nullptr && mask != 0 && (mask & ~systemMask) == 0 &&
                     (!target->job || (mask & ~*target->job) == 0);
  const std::uint64_t narrowed = valid && target->cpuset ? mask & *target->cpuset : mask;
  const bool accepted = valid && narrowed != 0;
  maskSets.push_back({handle.pid(), mask, time_.now(), accepted});
  if (!accepted) {
    lastError_.value = target == nullptr ? kAccessDenied
                       : valid           ? kInvalidArgument
                                         : kInvalidParameter;
    return false;
  }
  target->mask = narrowed;
  handle.refusedThreads.clear();
  for (const auto& [thread, cpus] : target->threadCpusets) {
    if ((narrowed & cpus) == 0) handle.refusedThreads.push_back(thread);
  }
  if (!handle.refusedThreads.empty()) {
    lastError_.value = kInvalidArgument;
    return false;
  }
  return true;
}

std::optional<std::uint64_t> FakeProcesses::affinity(ProcessHandle& process) {
  const Process* target = find(static_cast<FakeHandle&>(process).pid());
  if (readError || target == nullptr) {
    lastError_.value = readError.value_or(kAccessDenied);
    return std::nullopt;
  }
  return target->mask;
}

std::optional<std::uint64_t> FakeProcesses::allowedMask(ProcessHandle& process) {
  if (find(static_cast<FakeHandle&>(process).pid()) == nullptr) {
    lastError_.value = kAccessDenied;
    return std::nullopt;
  }
  return systemMask;
}

std::vector<std::uint32_t> FakeProcesses::newlyRefusedThreads(ProcessHandle& process) {
  auto& handle = static_cast<FakeHandle&>(process);
  std::vector<std::uint32_t> fresh;
  for (const std::uint32_t thread : handle.refusedThreads) {
    if (handle.namedThreads.insert(thread).second) fresh.push_back(thread);
  }
  handle.refusedThreads.clear();
  return fresh;
}

std::optional<int> FakeProcesses::moveStrayThreads(ProcessHandle& process, std::uint64_t mask) {
  const std::uint32_t pid = static_cast<FakeHandle&>(process).pid();
  Process* target = find(pid);
  strayWalks.push_back({pid, mask, time_.now(), target != nullptr});
  if (target == nullptr) {
    lastError_.value = kAccessDenied;
    return std::nullopt;
  }
  return std::exchange(target->strayThreads, 0);
}

}  // namespace tavrolin::fakes
