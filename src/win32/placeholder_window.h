#pragma once

#include <string>

#include "app_icon.h"
#include "window.h"

namespace tavrolin::win32 {

// A small fixed window with a caption and one line of text, standing in for a
// window that is not built yet. Shown modeless; showing it again brings the
// same window forward; its close button unloads it.
class PlaceholderWindow final : public Window {
 public:
  PlaceholderWindow(const WindowClass& windowClass, std::string caption, std::string text);
  void show();

  static constexpr const char* kClassName = "Tavrolin.Placeholder";

 private:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  const WindowClass& class_;
  std::string caption_;
  std::string text_;
};

}  // namespace tavrolin::win32
