#include "window.h"

#include <algorithm>

namespace tavrolin::win32 {

namespace {

// Not owned: each window leaves the list when its system window goes.
std::vector<Window*>& Loaded() {
  static std::vector<Window*> windows;
  return windows;
}

}  // namespace

WindowClass::WindowClass(HINSTANCE instance, std::string name, const Look& look)
    : instance_(instance), name_(std::move(name)) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = Window::procedure;
  windowClass.hInstance = instance_;
  windowClass.hIcon = look.icon;
  windowClass.hIconSm = look.smallIcon;
  windowClass.hCursor = look.cursor;
  windowClass.hbrBackground = look.background;
  windowClass.lpszClassName = name_.c_str();
  atom_ = ::RegisterClassExA(&windowClass);
}

WindowClass::~WindowClass() {
  if (atom_ != 0) ::UnregisterClassA(name_.c_str(), instance_);
}

Window::~Window() {
  if (hwnd_ == nullptr) return;
  // The derived part is gone already: the last messages go to the default
  // procedure, not to this object.
  const HWND hwnd = hwnd_;
  detach();
  ::DestroyWindow(hwnd);
}

void Window::unload() {
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

std::vector<Window*> Window::loadedWindows() {
  return Loaded();
}

bool Window::isLoaded(const Window* window) {
  const auto& windows = Loaded();
  return std::find(windows.begin(), windows.end(), window) != windows.end();
}

bool Window::preTranslate(MSG& message) {
  for (Window* window : Loaded()) {
    if (window->dialogNavigation_ && ::IsDialogMessageA(window->hwnd_, &message) != 0) {
      return true;
    }
  }
  return false;
}

bool Window::create(const WindowClass& windowClass, const char* caption,
                    const Placement& placement) {
  if (hwnd_ != nullptr) return true;
  // `this` travels with WM_NCCREATE, where procedure() binds the two.
  const HWND hwnd = ::CreateWindowExA(
      placement.exStyle, windowClass.name(), caption, placement.style, placement.x, placement.y,
      placement.width, placement.height, placement.owner, nullptr, windowClass.instance(), this);
  return hwnd != nullptr;
}

LRESULT Window::defaultProcedure(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcA(hwnd_, message, wParam, lParam);
}

void Window::detach() {
  ::SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
  std::erase(Loaded(), this);
  hwnd_ = nullptr;
}

LRESULT CALLBACK Window::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    self = static_cast<Window*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    Loaded().push_back(self);
  }
  if (self == nullptr) return ::DefWindowProcA(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    const LRESULT result = self->onMessage(message, wParam, lParam);
    self->detach();
    return result;
  }
  return self->onMessage(message, wParam, lParam);
}

int RunMessageLoop() {
  MSG message{};
  for (;;) {
    const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);  // WM_QUIT
    if (got == -1) return 1;
    if (Window::preTranslate(message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

}  // namespace tavrolin::win32
