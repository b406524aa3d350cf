#pragma once

#include <windows.h>

#include "app_icon.h"
#include "diagnostics/error_log.h"
#include "info_window_win.h"
#include "platform/options_window.h"
#include "window.h"

namespace tavrolin::win32 {

// The toolkit's other windows: the options dialog and the info window, both
// with the application icon. It owns both window classes and the info window;
// an options window it makes belongs to whoever asked for it.
class WinWindows final : public WindowFactory {
 public:
  // `owner` is the Controller's window: it keeps the info window out of the
  // taskbar.
  WinWindows(HINSTANCE instance, const AppIcon& icon, HWND owner);

  // Where the windows' events report failures that nothing else took.
  void setEventLog(ErrorLog& log) { log_ = &log; }

  std::unique_ptr<OptionsWindow> createOptionsWindow(OptionsEvents& events) override;
  void showInfoWindow() override;

  WinInfoWindow& infoWindow() { return info_; }

 private:
  WindowClass optionsClass_;
  WindowClass infoClass_;
  WinInfoWindow info_;
  ErrorLog* log_ = nullptr;
};

}  // namespace tavrolin::win32
