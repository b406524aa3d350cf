#pragma once

#include <memory>
#include <string>
#include <vector>

#include "diagnostics/error_log.h"
#include "platform/platform.h"
#include "ui/watch_settings.h"

namespace tavrolin {

// The options dialog's logic: the game, the delay, online play and the
// processor boxes. It owns its window (made on first use; hiding keeps it and
// its boxes, unloading destroys them) and the stored values its controls
// cannot show; what the user picks goes to the running program through
// WatchSettings.
class OptionsDialog final : public OptionsEvents {
 public:
  // Its window comes from `platform`'s toolkit; a Failure when there is none.
  OptionsDialog(WatchSettings& settings, Platform& platform, ErrorLog& log);

  // The tray's "   Options": shows the dialog (loading it first when it is not
  // loaded), takes the settings file as startup does (the default file
  // written when there is none; the defaults for one startup refuses), then
  // fills the lists and the online box from it and applies the delay, the
  // online flag and the game at once. Loading shows the processor selection
  // in force.
  void open();
  // Unloads the window if it is loaded (at program exit).
  void unload();
  bool loaded() const { return window_->exists(); }

  void onGamePicked() override;
  void onSave() override;
  void onUnload() override;

  static constexpr const char* kWarning =
      "You should use atleast one processor!\r\n\r\nLast processor enabled.";

 private:
  void load();
  void fillGameList();
  void addProcessorBoxes();
  void showSelection();
  // Each processor box, ticked or not, in box order.
  std::vector<bool> tickedBoxes() const;

  // A key's stored value; `fallback` when the settings file could not be
  // written.
  std::string readStored(std::string_view key, std::string_view fallback);

  void openDelay();
  void openOnline();
  void openGame();
  // The delay as the settings file writes it, applied to the program; a value
  // that does not convert is reported as a failure of `logName`.
  void applyDelay(std::string_view logName, const std::string& delay);

  WatchSettings& settings_;
  Platform& platform_;
  ErrorLog& log_;
  std::unique_ptr<OptionsWindow> window_;
  std::vector<std::string> games_;
  std::vector<std::string> delays_;
  // The settings file may be read and written (startup's rule).
  bool fileUsable_ = true;
  // Stored values the controls cannot show are written back as they were,
  // unless the user changed the control; empty ones are left as they are.
  std::string storedDelay_;
  int shownDelay_ = -1;
  std::string storedOnline_;
  int shownOnline_ = -1;
  bool onlineShowable_ = true;
  std::string storedGame_;
  int shownGame_ = -1;
  bool gameShowable_ = true;
  // The boxes as loading or the last save left them: a save that finds them
  // so changes neither the choice nor the CPUs value.
  std::vector<bool> shownBoxes_;
};

}  // namespace tavrolin
