#pragma once

// Test doubles for every platform service. Each can be steered (make a call
// fail, put processes in the list) and inspected (what was written, which masks
// were set, when). Time is simulated: nothing sleeps.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "config/profile_text.h"
#include "fake_options_window.h"
#include "platform/platform.h"

namespace tavrolin::fakes {

// The codes the fakes fail with, as the systems do.
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kFileExists = 80;
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kInvalidArgument = 22;  // as Linux refuses a mask outside a cpuset
inline constexpr std::uint32_t kBufferOverflow = 111;

// The last error, as the fakes set it when a call fails.
class FakeLastError final : public LastError {
 public:
  std::uint32_t code() const override { return value; }
  std::uint32_t value = 0;
};

class FakeEnvironment final : public Environment {
 public:
  explicit FakeEnvironment(FakeLastError& lastError) : lastError_(lastError) {}

  std::string settingsDirectory() const override { return directory; }
  char pathSeparator() const override { return separator; }
  std::optional<std::string> variable(std::string_view name) const override {
    const auto found = variables.find(std::string(name));
    return found == variables.end() ? std::nullopt : std::optional(found->second);
  }
  bool computerName(std::span<char> buffer, std::uint32_t& size) override {
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
  bool anotherInstanceRunning() override { return otherInstance; }
  void endProcess(int exitCode) override { endedWith = exitCode; }

  std::string directory = "C:\\Games\\Tavrolin";
  char separator = '\\';
  std::map<std::string, std::string> variables{{"NUMBER_OF_PROCESSORS", "4"}};
  std::string hostName = "GAMER-PC";  // one that does not fit the buffer fails with 111
  std::optional<std::uint32_t> computerNameError;  // set: the call fails with it
  bool otherInstance = false;
  std::optional<int> endedWith;

 private:
  FakeLastError& lastError_;
};

// Files in memory, keyed by full path.
class FakeFileSystem final : public FileSystem {
 public:
  explicit FakeFileSystem(FakeLastError& lastError) : lastError_(lastError) {}

  FileStatus status(const std::string& path) const override {
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
  std::optional<std::string> readText(const std::string& path) const override {
    if (!files.contains(path) || directories.contains(path)) {
      lastError_.value = 2;  // file not found
      return std::nullopt;
    }
    return files.at(path);
  }
  bool writeText(const std::string& path, OpenMode mode, std::string_view bytes) override {
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

  bool exists(const std::string& path) const { return files.contains(path); }
  const std::string& text(const std::string& path) const { return files.at(path); }

  std::map<std::string, std::string> files;
  std::set<std::string> readOnly;                     // writes fail with 5 (access denied)
  std::set<std::string> hidden;                       // not a plain file
  std::set<std::string> directories;                  // not a plain file; writes fail with 5
  std::map<std::string, std::uint32_t> statusErrors;  // status() cannot tell: fails with it
  int writes = 0;

 private:
  FakeLastError& lastError_;
};

// The profile format over the fake files, through the portable reader/writer.
class FakeProfile final : public PrivateProfile {
 public:
  explicit FakeProfile(FakeFileSystem& files) : files_(files) {}

  std::uint32_t getString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, std::span<char> buffer,
                          const std::string& path) override {
    const std::optional<std::string> text = files_.readText(path);
    const std::optional<std::string_view> value =
        text ? profile_text::FindValue(*text, section, key) : std::nullopt;
    return profile_text::CopyValue(value.value_or(defaultValue), buffer);
  }
  bool writeString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path) override {
    const std::string old = files_.readText(path).value_or("");
    return files_.writeText(path, OpenMode::kFromStart,
                            profile_text::SetValue(old, section, key, value));
  }

 private:
  FakeFileSystem& files_;
};

class FakeClock final : public Clock {
 public:
  std::string dateText() override { return date; }
  std::string timeText() override { return time; }
  std::string date = "3/9/2024";
  std::string time = "4:05:09 PM";
};

// Simulated time for the timers and the event pump. advance() runs every tick
// that falls due, in time order; the pump runs the ticks due at the current
// moment and any events posted to it.
class SimulatedTime final : public TimerService, public EventPump {
 public:
  std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override {
    return std::make_unique<SimTimer>(*this, std::move(onTick));
  }
  void handleWaitingEvents() override {
    ++pumps_;
    runPosted();
    const std::vector<SimTimer*> timers = timers_;
    for (SimTimer* timer : timers) {
      if (timer->dueBy(now_)) timer->tick();
    }
  }

  void advance(std::uint64_t milliseconds) {
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
  // Runs at the next pump (or the next advance, whichever comes first).
  void post(std::function<void()> event) { posted_.push_back(std::move(event)); }
  std::uint64_t now() const { return now_; }
  int pumps() const { return pumps_; }

 private:
  class SimTimer final : public Timer {
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

  void runPosted() {
    std::vector<std::function<void()>> events;
    events.swap(posted_);
    for (auto& event : events) event();
  }
  std::uint64_t now_ = 0;
  int pumps_ = 0;
  std::vector<SimTimer*> timers_;
  std::vector<std::function<void()>> posted_;
};

class FakeWindow final : public MainWindow, public TrayIcon {
 public:
  bool isMinimized() const override { return minimized; }
  void hide() override {
    ++hides;
    visible = false;
  }
  void unloadOtherWindows() override { ++unloads; }
  void add() override {
    ++trayAdds;
    iconShown = true;
  }
  void remove() override {
    ++trayRemoves;
    iconShown = false;
  }

  bool minimized = false;
  bool visible = true;
  bool iconShown = false;
  int hides = 0, unloads = 0, trayAdds = 0, trayRemoves = 0;
};

// A process table the tests fill, with affinity masks that a test reads back.
class FakeProcesses final : public ProcessList, public ProcessNames, public ProcessControl {
 public:
  struct Process {
    std::uint32_t pid;
    std::string name;
    std::uint64_t mask = ~std::uint64_t{0};
    // Set: the processors its cpuset allows (Linux). A mask is narrowed to
    // them, and one without any of them is refused (22).
    std::optional<std::uint64_t> cpuset = std::nullopt;
    // Set: the processors its job allows (Windows). A mask outside them is
    // refused (87).
    std::optional<std::uint64_t> job = std::nullopt;
    // Threads with a cpuset of their own: a mask without any of its
    // processors is refused by that thread (22) while the rest take it.
    std::map<std::uint32_t, std::uint64_t> threadCpusets = {};
    // Threads started since its mask was set, on another one (as under Wine).
    int strayThreads = 0;
  };
  struct MaskSet {
    std::uint32_t pid;
    std::uint64_t mask;
    std::uint64_t at;  // simulated milliseconds
    bool accepted;
  };

  FakeProcesses(FakeLastError& lastError, const SimulatedTime& time)
      : lastError_(lastError), time_(time) {}

  std::unique_ptr<ProcessSnapshot> enumerate() override {
    if (listError) {
      lastError_.value = *listError;
      return nullptr;
    }
    return std::make_unique<Snapshot>(processes);
  }
  bool forEachName(std::string_view computerName,
                   const std::function<bool(std::string_view)>& visit) override {
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
  std::unique_ptr<ProcessHandle> open(std::uint32_t processId,
                                      std::string_view imageName) override {
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
    return std::make_unique<Handle>(processId, openHandles);
  }
  bool setAffinity(ProcessHandle& process, std::uint64_t mask) override {
    auto& handle = static_cast<Handle&>(process);
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
  std::optional<std::uint64_t> affinity(ProcessHandle& process) override {
    const Process* target = find(static_cast<Handle&>(process).pid());
    if (readError || target == nullptr) {
      lastError_.value = readError.value_or(kAccessDenied);
      return std::nullopt;
    }
    return target->mask;
  }
  std::optional<std::uint64_t> allowedMask(ProcessHandle& process) override {
    if (find(static_cast<Handle&>(process).pid()) == nullptr) {
      lastError_.value = kAccessDenied;
      return std::nullopt;
    }
    return systemMask;
  }
  std::vector<std::uint32_t> newlyRefusedThreads(ProcessHandle& process) override {
    auto& handle = static_cast<Handle&>(process);
    std::vector<std::uint32_t> fresh;
    for (const std::uint32_t thread : handle.refusedThreads) {
      if (handle.namedThreads.insert(thread).second) fresh.push_back(thread);
    }
    handle.refusedThreads.clear();
    return fresh;
  }
  std::optional<int> moveStrayThreads(ProcessHandle& process, std::uint64_t mask) override {
    const std::uint32_t pid = static_cast<Handle&>(process).pid();
    Process* target = find(pid);
    strayWalks.push_back({pid, mask, time_.now(), target != nullptr});
    if (target == nullptr) {
      lastError_.value = kAccessDenied;
      return std::nullopt;
    }
    return std::exchange(target->strayThreads, 0);
  }

  std::uint32_t start(std::string name) {  // returns its pid
    processes.push_back({nextPid_, std::move(name), systemMask});
    return std::exchange(nextPid_, nextPid_ + 4);
  }
  void stop(std::uint32_t pid) {
    std::erase_if(processes, [pid](const Process& process) { return process.pid == pid; });
  }
  void stopAll(const std::string& name) {
    std::erase_if(processes, [&](const Process& process) { return process.name == name; });
  }
  Process* find(std::uint32_t pid) {
    const auto found = std::ranges::find(processes, pid, &Process::pid);
    return found == processes.end() ? nullptr : &*found;
  }

  std::vector<Process> processes;
  std::optional<std::uint32_t> listError;   // enumerate() fails with it
  std::optional<std::uint32_t> namesError;  // forEachName() fails with it
  std::optional<std::uint32_t> openError;   // open() fails with it
  std::optional<std::uint32_t> readError;   // affinity() fails with it
  std::uint64_t systemMask = 0xF;           // masks outside it are refused (87)
  std::vector<MaskSet> maskSets;
  std::vector<MaskSet> strayWalks;  // moveStrayThreads calls; accepted: the process was there
  std::vector<std::string> computerNamesAsked;
  int namesQueries = 0;
  int namesVisited = 0;  // names handed to forEachName's visitor
  int openHandles = 0;   // handles not yet closed
  int opens = 0;

 private:
  class Snapshot final : public ProcessSnapshot {
   public:
    explicit Snapshot(const std::vector<Process>& processes) {
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

  class Handle final : public ProcessHandle {
   public:
    Handle(std::uint32_t pid, int& openHandles) : pid_(pid), openHandles_(openHandles) {
      ++openHandles_;
    }
    ~Handle() override { --openHandles_; }
    std::int64_t value() const override { return 0x100 + pid_; }
    std::uint32_t pid() const { return pid_; }
    std::set<std::uint32_t> namedThreads;
    std::vector<std::uint32_t> refusedThreads;  // by the last mask, not yet named

   private:
    std::uint32_t pid_;
    int& openHandles_;
  };

  FakeLastError& lastError_;
  const SimulatedTime& time_;
  std::uint32_t nextPid_ = 1000;
};

class FakeBeeper final : public Beeper {
 public:
  struct Beep {
    std::string imageName;
    std::uint32_t pid;
    std::uint64_t mask;
    std::string presets = {};
  };
  struct Moved {
    Beep game;
    int count;
  };
  void beep(std::string_view imageName, std::uint32_t pid, std::uint64_t mask,
            std::string_view presets) override {
    beeps.push_back({std::string(imageName), pid, mask, std::string(presets)});
  }
  void strayThreadsMoved(std::string_view imageName, std::uint32_t pid, std::uint64_t mask,
                         int count) override {
    moves.push_back({{std::string(imageName), pid, mask}, count});
  }
  std::vector<Beep> beeps;
  std::vector<Moved> moves;
};

// The debug output's lines, kept for a test to read.
class FakeDebugOutput final : public DebugOutput {
 public:
  void line(std::string_view text) override { lines.emplace_back(text); }
  std::vector<std::string> lines;
};

// The processors the tests describe: four online, all alike, by default.
class FakeTopology final : public TopologySource {
 public:
  explicit FakeTopology(FakeLastError& lastError) : lastError_(lastError) {}
  // Not detailed: as on Windows XP, where the function is missing.
  ProcessorTopology describe() override {
    lastError_.value = topology.detailed ? 0 : 127;
    return topology;
  }
  ProcessorTopology topology{.online = 0xF, .detailed = true};

 private:
  FakeLastError& lastError_;
};

// All fakes, wired into one Platform.
struct FakePlatform {
  FakeLastError lastError;
  FakeEnvironment environment{lastError};
  FakeFileSystem files{lastError};
  FakeProfile profile{files};
  FakeClock clock;
  SimulatedTime time;
  FakeWindow window;
  FakeProcesses processes{lastError, time};
  FakeBeeper beeper;
  FakeWindows windows;
  FakeDebugOutput debug;
  FakeTopology topology{lastError};
  Platform platform{environment, files,   profile, clock,     time,      time,
                    lastError,   window,  window,  processes, processes, processes,
                    beeper,      windows, debug,   topology};

  // Paths in the fake settings directory.
  std::string path(std::string_view fileName) const {
    return environment.directory + environment.separator + std::string(fileName);
  }
  std::string configPath() const { return path("config.ini"); }
  std::string logPath() const { return path("ErrorLog.txt"); }
  std::string log() const {
    return files.exists(logPath()) ? files.text(logPath()) : std::string();
  }
};

}  // namespace tavrolin::fakes
