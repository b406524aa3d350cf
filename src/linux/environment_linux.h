#pragma once

#include <string>

#include "event_loop.h"
#include "platform/environment.h"
#include "unique_fd.h"

namespace tavrolin::linux_backend {

// Where the one-copy lock may live: `runtimeRoot`/UID (the user's runtime
// directory that the login manager makes), else `fallbackRoot`/tavrolin-UID.
struct LockRoots {
  std::string runtimeRoot = "/run/user";
  std::string fallbackRoot = "/tmp";
};

class LinuxEnvironment final : public Environment {
 public:
  // `settingsDirectory` is where main found the settings to live.
  LinuxEnvironment(EventLoop& loop, std::string settingsDirectory, LockRoots lockRoots = {});

  std::string settingsDirectory() const override { return settingsDirectory_; }
  char pathSeparator() const override { return '/'; }
  // NUMBER_OF_PROCESSORS, where it is not set, is the number of processors
  // online on the machine.
  std::optional<std::string> variable(std::string_view name) const override;
  bool computerName(std::span<char> buffer, std::uint32_t& size) override;
  // One copy per user, whichever folder it was started from and whatever its
  // environment says: an exclusive lock on "tavrolin.lock" in /run/user/UID
  // when that is the user's own with mode 0700, else in /tmp/tavrolin-UID
  // (made so, and checked). The kernel drops it when the holder ends, however
  // it ends. A second copy says so on stderr. A lock that cannot be had for
  // another reason is said on stderr, and this copy runs.
  bool anotherInstanceRunning() override;
  void endProcess(int exitCode) override { loop_.quit(exitCode); }

 private:
  EventLoop& loop_;
  std::string settingsDirectory_;
  LockRoots lockRoots_;
  UniqueFd instanceLock_;
  UniqueFd lockDirectory_;
};

}  // namespace tavrolin::linux_backend
