#include "windows_win.h"

namespace tavrolin::win32 {

WinWindows::WinWindows(const WindowClass& placeholders)
    : info_(placeholders, "Tavrolin",
            "Tavrolin spreads a game over all processors: when the game starts, it is held on "
            "processor 0 for a moment, then given all of them.") {}

std::unique_ptr<OptionsWindow> WinWindows::createOptionsWindow(OptionsEvents& /*events*/) {
  return nullptr;  // the options dialog's window is not built yet
}

void WinWindows::showInfoWindow() {
  info_.show();
}

}  // namespace tavrolin::win32
