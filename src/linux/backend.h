#pragma once

#include <string>
#include <utility>

#include "console.h"
#include "desktop_notifier.h"
#include "environment_linux.h"
#include "event_loop.h"
#include "files_linux.h"
#include "last_error_linux.h"
#include "platform/platform.h"
#include "procfs.h"
#include "sysfs_topology.h"

namespace tavrolin::linux_backend {

// Every Linux service, wired into one Platform.
struct Backend {
  // `settingsDirectory` holds config.ini and ErrorLog.txt.
  explicit Backend(std::string settingsDirectory)
      : environment(loop, std::move(settingsDirectory)) {
    loop.setSource(&notifier);
  }
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  EventLoop loop;
  LinuxEnvironment environment;
  LinuxFileSystem files;
  LinuxPrivateProfile profile;
  LinuxClock clock;
  LinuxLastError lastError;
  ConsoleWindow console;
  ProcFsProcesses processes;
  ProcFsControl control;
  DesktopNotifier notifier;
  ConsoleBeeper beeper{notifier};
  StderrDebugOutput debug;
  SysfsTopology topology;

  Platform platform{environment, files,   profile, clock,     loop,      loop,
                    lastError,   console, console, processes, processes, control,
                    beeper,      console, debug,   topology};
};

}  // namespace tavrolin::linux_backend
