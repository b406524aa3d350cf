#include "placeholder_window.h"

namespace tavrolin::win32 {

namespace {
constexpr int kClientWidth = 329;  // pixels
constexpr int kClientHeight = 96;
constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU;
}  // namespace

PlaceholderWindow::PlaceholderWindow(const WindowClass& windowClass, std::string caption,
                                     std::string text)
    : class_(windowClass), caption_(std::move(caption)), text_(std::move(text)) {}

void PlaceholderWindow::show() {
  if (!loaded()) {
    RECT frame{0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, WS_EX_DLGMODALFRAME);
    Placement placement;
    placement.style = kStyle;
    placement.exStyle = WS_EX_DLGMODALFRAME;
    placement.width = frame.right - frame.left;
    placement.height = frame.bottom - frame.top;
    placement.x = (::GetSystemMetrics(SM_CXSCREEN) - placement.width) / 2;
    placement.y = (::GetSystemMetrics(SM_CYSCREEN) - placement.height) / 2;
    if (!create(class_, caption_.c_str(), placement)) return;
  }
  ::ShowWindow(hwnd(), SW_SHOWNORMAL);
  ::SetForegroundWindow(hwnd());
}

LRESULT PlaceholderWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      const HWND label = ::CreateWindowExA(
          0, "STATIC", text_.c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER, 16, 16, kClientWidth - 32,
          kClientHeight - 32, hwnd(), nullptr, class_.instance(), nullptr);
      ::SendMessageA(label, WM_SETFONT,
                     reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
      return 0;
    }
    default:
      return defaultProcedure(message, wParam, lParam);
  }
}

}  // namespace tavrolin::win32
