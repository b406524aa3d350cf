#pragma once

#include <string>

#include "event_loop.h"
#include "platform/environment.h"
#include "unique_fd.h"

namespace tavrolin::linux_backend {

class LinuxEnvironment final : public Environment {
 public:
  // `settingsDirectory` is where main found the settings to live.
  LinuxEnvironment(EventLoop& loop, std::string settingsDirectory);

  std::string settingsDirectory() const override { return settingsDirectory_; }
  char pathSeparator() const override { return '/'; }
  // NUMBER_OF_PROCESSORS, where it is not set, is the number of processors
  // online on the machine.
  std::optional<std::string> variable(std::string_view name) const override;
  bool computerName(std::span<char> buffer, std::uint32_t& size) override;
  // One copy per user, whichever folder it was started from: an exclusive
  // lock on "tavrolin.lock" in $XDG_RUNTIME_DIR (or /tmp/tavrolin-UID). The
  // kernel drops it when the holder ends, however it ends. A lock that cannot
  // be had for another reason is said on stderr, and this copy runs.
  bool anotherInstanceRunning() override;
  void endProcess(int exitCode) override { loop_.quit(exitCode); }

 private:
  EventLoop& loop_;
  std::string settingsDirectory_;
  UniqueFd instanceLock_;
};

}  // namespace tavrolin::linux_backend
