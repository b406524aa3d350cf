#pragma once

#include "platform/main_window.h"
#include "window.h"

namespace tavrolin::win32 {

// The Controller's view of its own window and of the program's other windows.
class WinMainWindow final : public MainWindow {
 public:
  explicit WinMainWindow(const Window& window) : window_(window) {}

  bool isMinimized() const override;
  void hide() override;
  // Every other loaded window, in load order, each with its own unload
  // handling.
  void unloadOtherWindows() override;

 private:
  const Window& window_;
};

}  // namespace tavrolin::win32
