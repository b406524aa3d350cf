#include "info_window_win.h"

#include <string>

namespace tavrolin::win32 {

namespace {

// The design, in twips.
constexpr int kClientWidth = 4935;
constexpr int kClientHeight = 2880;
struct Design {
  int left, top, width, height;
};
constexpr Design kPanelDesign{120, 120, 4695, 2415};
constexpr Design kAboutTextDesign{240, 240, 4455, 1095};
constexpr Design kBeepTextDesign{240, 1440, 4455, 1095};
constexpr Design kNoticeDesign{1620, 2640, 1695, 255};

}  // namespace

WinInfoWindow::WinInfoWindow(const WindowClass& windowClass, HWND owner)
    : class_(windowClass),
      owner_(owner),
      backBrush_(::CreateSolidBrush(kBackColour)),
      panelBrush_(::CreateSolidBrush(kPanelColour)),
      font_(twips_, "Tahoma", 825) {}

void WinInfoWindow::show() {
  if (!loaded()) {
    Placement placement;
    placement.style = kStyle;
    placement.exStyle = kExStyle | (owner_ == nullptr ? WS_EX_TOOLWINDOW : 0);
    placement.owner = owner_;
    const RECT outer = CentredWindowRect(placement.style, placement.exStyle, twips_.x(kClientWidth),
                                         twips_.y(kClientHeight));
    placement.x = outer.left;
    placement.y = outer.top;
    placement.width = outer.right - outer.left;
    placement.height = outer.bottom - outer.top;
    if (!create(class_, kCaption, placement)) return;
    createControls();
  }
  ::ShowWindow(hwnd(), SW_SHOWNORMAL);
  ::SetForegroundWindow(hwnd());
  ::BringWindowToTop(hwnd());
}

void WinInfoWindow::createControls() {
  struct Label {
    int id;
    std::string_view text;
    Design design;
    DWORD align;
  };
  // The two texts wrap at word boundaries inside their fixed size.
  const Label labels[] = {{kAboutTextId, kAboutText, kAboutTextDesign, SS_LEFT},
                          {kBeepTextId, kBeepText, kBeepTextDesign, SS_LEFT},
                          {kNoticeId, kNotice, kNoticeDesign, SS_CENTER}};
  for (const Label& label : labels) {
    const std::string text(label.text);
    const RECT place =
        twips_.rect(label.design.left, label.design.top, label.design.width, label.design.height);
    const HWND control = ::CreateWindowExA(
        0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX | label.align, place.left,
        place.top, place.right - place.left, place.bottom - place.top, hwnd(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(label.id)), class_.instance(), nullptr);
    if (control != nullptr) font_.fit(control);
  }
}

void WinInfoWindow::paint() {
  PAINTSTRUCT ps{};
  const HDC dc = ::BeginPaint(hwnd(), &ps);
  const RECT panel =
      twips_.rect(kPanelDesign.left, kPanelDesign.top, kPanelDesign.width, kPanelDesign.height);
  ::FillRect(dc, &panel, panelBrush_.get());
  const UniqueBrush outline(::CreateSolidBrush(kPanelOutline));
  ::FrameRect(dc, &panel, outline.get());
  ::EndPaint(hwnd(), &ps);
}

LRESULT WinInfoWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client{};
      ::GetClientRect(hwnd(), &client);
      ::FillRect(reinterpret_cast<HDC>(wParam), &client, backBrush_.get());
      return 1;
    }
    case WM_PAINT:
      paint();
      return 0;
    case WM_CTLCOLORSTATIC: {
      // Transparent labels: the two texts lie on the panel, the notice on the
      // window.
      const auto dc = reinterpret_cast<HDC>(wParam);
      const bool notice = ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == kNoticeId;
      ::SetBkMode(dc, TRANSPARENT);
      ::SetTextColor(dc, notice ? kGreyText : ::GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(notice ? backBrush_.get() : panelBrush_.get());
    }
    default:
      // The close button destroys the window: unloaded until shown again.
      return defaultProcedure(message, wParam, lParam);
  }
}

}  // namespace tavrolin::win32
