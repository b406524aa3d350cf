#pragma once

#include "placeholder_window.h"
#include "platform/options_window.h"

namespace tavrolin::win32 {

// The toolkit's other windows: the options dialog and the info window.
class WinWindows final : public WindowFactory {
 public:
  explicit WinWindows(const WindowClass& placeholders);

  std::unique_ptr<OptionsWindow> createOptionsWindow(OptionsEvents& events) override;
  void showInfoWindow() override;

 private:
  PlaceholderWindow info_;
};

}  // namespace tavrolin::win32
