#pragma once

#include <windows.h>

#include "win_handles.h"

namespace tavrolin::win32 {

// The application icon at the two sizes windows use: the large one for the
// title bar and task switcher, the small one for captions and the tray. It
// owns both.
class AppIcon {
 public:
  explicit AppIcon(HINSTANCE instance);
  HICON largeIcon() const { return large_.get(); }
  HICON smallIcon() const { return small_.get(); }

 private:
  UniqueIcon large_;
  UniqueIcon small_;
};

}  // namespace tavrolin::win32
