#pragma once

#include "desktop_notifier.h"
#include "platform/beeper.h"
#include "platform/debug_output.h"
#include "platform/main_window.h"
#include "platform/options_window.h"
#include "platform/tray_icon.h"

namespace tavrolin::linux_backend {

// On the console there is no window to hide, no notification area and no
// other window: the program's one line on stderr at startup stands in for the
// tray, and nothing calls for the dialogs.
class ConsoleWindow final : public MainWindow, public TrayIcon, public WindowFactory {
 public:
  std::unique_ptr<OptionsWindow> createOptionsWindow(OptionsEvents&) override { return nullptr; }
  void showInfoWindow() override {}
  bool isMinimized() const override { return false; }
  void hide() override {}
  void unloadOtherWindows() override {}
  void add() override {}
  void remove() override {}
};

// Per adjustment: the terminal bell where stderr is a terminal, one line on
// stdout, and a desktop notification where there is a session bus.
class ConsoleBeeper final : public Beeper {
 public:
  explicit ConsoleBeeper(DesktopNotifier& notifier) : notifier_(notifier) {}
  void beep(std::string_view imageName, std::uint32_t processId, std::uint64_t mask,
            std::string_view presets) override;
  // One line on stdout, nothing more: it is no new adjustment.
  void strayThreadsMoved(std::string_view imageName, std::uint32_t processId, std::uint64_t mask,
                         int count) override;

 private:
  DesktopNotifier& notifier_;
};

// The debug output: "tavrolin: " and the line on stderr with --verbose,
// nothing without.
class StderrDebugOutput final : public DebugOutput {
 public:
  void line(std::string_view text) override;
  bool enabled = false;
};

}  // namespace tavrolin::linux_backend
