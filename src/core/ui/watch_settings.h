#pragma once

#include <cstdint>
#include <string>

#include "affinity/processor_selection.h"

namespace tavrolin {

// What the options dialog changes in the running program: the settings the
// watch works with, applied at once. The Controller implements it; the dialog
// knows the program through nothing else.
class WatchSettings {
 public:
  virtual ~WatchSettings() = default;

  // The settings file the dialog reads and writes.
  virtual const std::string& settingsPath() const = 0;
  // Makes the settings file ready to be read and written, as startup does:
  // the default file is written where nothing stands. A Failure when it is
  // not to be used (anything else by that name: a directory, a device, a
  // hidden or system file, one too large) or cannot be written; the defaults
  // apply then, and nothing is written into it.
  virtual void prepareSettingsFile() = 0;
  // The image name of the game to watch for.
  virtual void setWatchedImage(std::string image) = 0;
  // Whether a game start counts while the lobby client runs.
  virtual bool onlineAllowed() const = 0;
  virtual void setOnlineAllowed(bool allowed) = 0;
  // The wait between seeing the game and adjusting it; 0 never ends.
  virtual void setDelay(std::uint32_t milliseconds) = 0;
  // Whether the watcher polls for the game.
  virtual void setPolling(bool enabled) = 0;
  // The processors of the final mask; empty means all.
  virtual const ProcessorSelection& processorSelection() const = 0;
  virtual void setProcessorSelection(ProcessorSelection selection) = 0;
};

}  // namespace tavrolin
