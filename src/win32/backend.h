#pragma once

#include "controller_window.h"
#include "debug_output_win.h"
#include "environment_win.h"
#include "files_win.h"
#include "platform/platform.h"
#include "processes_win.h"
#include "topology_win.h"
#include "window_timers.h"
#include "wmi_names.h"

namespace tavrolin::win32 {

// Every Windows service, wired into one Platform. The window-bound ones (timers,
// the window itself, the tray icon) belong to the Controller's window.
struct Backend {
  Backend(ControllerWindow& window, WindowFactory& windows)
      : platform{environment,     files,       profile,      clock,
                 window.timers(), pump,        lastError,    window.mainWindow(),
                 window.tray(),   processList, processNames, processControl,
                 beeper,          windows,     debug,        topology} {}

  WinEnvironment environment;
  WinFileSystem files;
  WinPrivateProfile profile;
  WinClock clock;
  WinLastError lastError;
  MessagePump pump;
  WtsProcessList processList;
  WmiProcessNames processNames;
  WinProcessControl processControl;
  WinBeeper beeper;
  WinDebugOutput debug;
  WinTopology topology;
  Platform platform;
};

}  // namespace tavrolin::win32
