#include "main_window_win.h"

namespace tavrolin::win32 {

bool WinMainWindow::isMinimized() const {
  return ::IsIconic(window_.hwnd()) != 0;
}

void WinMainWindow::hide() {
  ::ShowWindow(window_.hwnd(), SW_HIDE);
}

void WinMainWindow::unloadOtherWindows() {
  // Unloading one window may unload or load others: walk a copy, and skip
  // any that is gone by the time its turn comes.
  for (Window* window : Window::loadedWindows()) {
    if (window != &window_ && Window::isLoaded(window)) window->unload();
  }
}

}  // namespace tavrolin::win32
