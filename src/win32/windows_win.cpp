#include "windows_win.h"

#include "options_window_win.h"

namespace tavrolin::win32 {

namespace {
// Both windows paint their own backgrounds.
WindowClass::Look LookOf(const AppIcon& icon) {
  return {.icon = icon.largeIcon(), .smallIcon = icon.smallIcon(), .background = nullptr};
}
}  // namespace

WinWindows::WinWindows(HINSTANCE instance, const AppIcon& icon, HWND owner)
    : optionsClass_(instance, WinOptionsWindow::kClassName, LookOf(icon)),
      infoClass_(instance, WinInfoWindow::kClassName, LookOf(icon)),
      info_(infoClass_, owner) {}

std::unique_ptr<OptionsWindow> WinWindows::createOptionsWindow(OptionsEvents& events) {
  return std::make_unique<WinOptionsWindow>(optionsClass_, events, log_);
}

void WinWindows::showInfoWindow() {
  info_.show();
}

}  // namespace tavrolin::win32
