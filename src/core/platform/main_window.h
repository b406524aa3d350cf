#pragma once

namespace tavrolin {

// The program's own hidden window and the toolkit's list of loaded windows.
class MainWindow {
 public:
  virtual ~MainWindow() = default;
  virtual bool isMinimized() const = 0;
  virtual void hide() = 0;
  // Unloads every loaded window except the main one, in the toolkit's order.
  virtual void unloadOtherWindows() = 0;
};

}  // namespace tavrolin
