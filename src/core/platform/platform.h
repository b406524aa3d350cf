#pragma once

#include "platform/beeper.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/environment.h"
#include "platform/event_pump.h"
#include "platform/file_system.h"
#include "platform/last_error.h"
#include "platform/main_window.h"
#include "platform/options_window.h"
#include "platform/private_profile.h"
#include "platform/process_control.h"
#include "platform/process_list.h"
#include "platform/process_names.h"
#include "platform/processor_topology.h"
#include "platform/timers.h"
#include "platform/tray_icon.h"

namespace tavrolin {

// The services the core uses, one interface each; the backends own them.
struct Platform {
  Environment& environment;
  FileSystem& files;
  PrivateProfile& profile;
  Clock& clock;
  TimerService& timers;
  EventPump& pump;
  LastError& lastError;
  MainWindow& window;
  TrayIcon& tray;
  ProcessList& processList;
  ProcessNames& processNames;
  ProcessControl& processControl;
  Beeper& beeper;
  WindowFactory& windows;
  DebugOutput& debug;
  TopologySource& topology;
};

}  // namespace tavrolin
