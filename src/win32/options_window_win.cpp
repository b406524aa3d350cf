#include "options_window_win.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <utility>

#include "ui/options_layout.h"

namespace tavrolin::win32 {

namespace {

// The design's client width; its outer width (kDialogOuterWidth) is this plus
// the border, at the resolution it was laid out at.
constexpr int kDialogClientWidth = 4215;
constexpr int kBorderTwips = kDialogOuterWidth - kDialogClientWidth;

// Where the processor frame stands; the boxes and the hint are placed inside it.
constexpr int kFrameLeft = 240;
constexpr int kFrameTop = 600;

// A control of the design: left, top, width, height in twips.
struct Design {
  int left, top, width, height;
};
constexpr Design kGameLabelDesign{240, 150, 1095, 255};
constexpr Design kGameListDesign{1320, 90, 2655, 315};
constexpr Design kProcessorHintDesign{120, 240, 2895, 180};       // inside the frame
constexpr Design kProcessorTemplateDesign{2880, 1680, 855, 195};  // inside the frame
// Below the frame: they keep their distance to its bottom.
constexpr Design kDelayLabelDesign{240, 2760, 2415, 255};
constexpr Design kDelayListDesign{2640, 2715, 615, 315};
constexpr Design kSecondsLabelDesign{3315, 2760, 615, 255};
constexpr Design kOnlineBoxDesign{240, 3120, 1935, 255};
constexpr Design kAutoStartBoxDesign{240, 3360, 2655, 255};
constexpr Design kSaveButtonDesign{1260, 3600, 1695, 315};

struct BelowFrame {
  int id;
  Design design;
};
constexpr BelowFrame kBelowFrame[] = {
    {WinOptionsWindow::kDelayLabel, kDelayLabelDesign},
    {WinOptionsWindow::kDelayList, kDelayListDesign},
    {WinOptionsWindow::kSecondsLabel, kSecondsLabelDesign},
    {WinOptionsWindow::kOnlineBox, kOnlineBoxDesign},
    {WinOptionsWindow::kAutoStartBox, kAutoStartBoxDesign},
    {WinOptionsWindow::kSaveButton, kSaveButtonDesign},
};

// Room below a drop-down list's field for its open list.
constexpr int kDroppedListTwips = 1500;

constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
constexpr DWORD kPickList =
    WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS;
constexpr DWORD kCheckBox = WS_CHILD | WS_TABSTOP | BS_AUTOCHECKBOX;

// Visual styles draw a group box's caption and a drop-down list's field in
// the theme's colours, not in those the dialog gives them: such a control is
// drawn without them. (" " names no theme, as the documentation has it; Wine
// refuses the empty name.)
void DrawUnthemed(HWND control) {
  ::SetWindowTheme(control, L" ", L" ");
}

int CheckState(HWND box) {
  switch (::SendMessageA(box, BM_GETCHECK, 0, 0)) {
    case BST_CHECKED:
      return 1;
    case BST_INDETERMINATE:
      return 2;
    default:
      return 0;
  }
}

}  // namespace

WinOptionsWindow::WinOptionsWindow(const WindowClass& windowClass, OptionsEvents& events,
                                   ErrorLog* log)
    : class_(windowClass),
      events_(events),
      log_(log),
      backBrush_(::CreateSolidBrush(kBackColour)),
      font_(twips_, "Tahoma", 825),
      boldFont_(MakeFont(twips_, "Tahoma", 825, true)),
      smallFont_(MakeFont(twips_, "Tahoma", 675, false)) {
  if (log_ != nullptr) setEventLog(*log_);
  setDialogNavigation(true);
}

bool WinOptionsWindow::create() {
  if (loaded()) return true;
  frameWidth_ = kFrameWidth;
  frameHeight_ = kFrameHeight;
  clientWidth_ = kDialogClientWidth;
  clientHeight_ = kDialogClientHeight;
  shownSinceCreate_ = false;
  focus_ = nullptr;
  boxes_.clear();
  boxFont_ = 0;

  const RECT outer = CentredWindowRect(kStyle, 0, twips_.x(clientWidth_), twips_.y(clientHeight_));
  Placement placement;
  placement.style = kStyle;
  placement.x = outer.left;
  placement.y = outer.top;
  placement.width = outer.right - outer.left;
  placement.height = outer.bottom - outer.top;
  if (!Window::create(class_, kCaption, placement)) return false;
  createControls();
  return true;
}

HWND WinOptionsWindow::addControl(int id, const char* windowClass, const char* text, DWORD style,
                                  RECT place, HFONT font) {
  const HWND control = ::CreateWindowExA(0, windowClass, text, style, place.left, place.top,
                                         place.right - place.left, place.bottom - place.top, hwnd(),
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                         class_.instance(), nullptr);
  if (control != nullptr) ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  return control;
}

void WinOptionsWindow::createControls() {
  const auto at = [&](const Design& d, int dx = 0, int dy = 0) {
    return twips_.rect(d.left + dx, d.top + dy, d.width, d.height);
  };
  // A drop-down list's window holds its open list too; its field gets the
  // design's height below.
  const auto pickList = [&](const Design& d) {
    return twips_.rect(d.left, d.top, d.width, d.height + kDroppedListTwips);
  };

  // In the design's order, which is also the Tab order.
  addControl(kGameLabel, "STATIC", "Choose Game:", kLabel, at(kGameLabelDesign), font_.design());
  addControl(kGameList, WC_COMBOBOXA, "", kPickList, pickList(kGameListDesign), boldFont_.get());
  addControl(kProcessorFrame, "BUTTON", "Custom Processor Affinity",
             WS_CHILD | WS_VISIBLE | BS_GROUPBOX | WS_GROUP,
             twips_.rect(kFrameLeft, kFrameTop, frameWidth_, frameHeight_), font_.design());
  addControl(kProcessorHint, "STATIC", "(only selected processors will be used)", kLabel,
             at(kProcessorHintDesign, kFrameLeft, kFrameTop), smallFont_.get());
  addControl(kProcessorTemplate, "BUTTON", "array", kCheckBox | WS_GROUP,
             at(kProcessorTemplateDesign, kFrameLeft, kFrameTop), font_.design());
  addControl(kDelayLabel, "STATIC", "Auto initialize after game start in ", kLabel | WS_GROUP,
             at(kDelayLabelDesign), font_.design());
  addControl(kDelayList, WC_COMBOBOXA, "", kPickList, pickList(kDelayListDesign), font_.design());
  addControl(kSecondsLabel, "STATIC", "seconds.", kLabel, at(kSecondsLabelDesign), font_.design());
  // Three states, set by the program: the user's clicks only tick and untick.
  addControl(kOnlineBox, "BUTTON", "Enabled for online play",
             WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_3STATE, at(kOnlineBoxDesign),
             font_.design());
  const HWND autoStart = addControl(kAutoStartBox, "BUTTON", "Auto initialize after game start - ",
                                    kCheckBox | WS_GROUP, at(kAutoStartBoxDesign), font_.design());
  ::SendMessageA(autoStart, BM_SETCHECK, BST_CHECKED, 0);
  addControl(kSaveButton, "BUTTON", "Close and Save",
             WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, at(kSaveButtonDesign),
             font_.design());

  for (const int id : {kGameLabel, kDelayLabel, kSecondsLabel}) font_.fit(control(id));
  for (const int id : {kOnlineBox, kAutoStartBox}) font_.fitCheckBox(control(id));
  for (const int id : {kProcessorFrame, kGameList}) DrawUnthemed(control(id));

  // Each list's field as high as the design says. The field follows the
  // height set for it by an offset of the system's own (Wine's and Windows'
  // differ): set, measured, and set once more when it missed.
  for (const auto& [id, design] :
       {std::pair{kGameList, kGameListDesign}, std::pair{kDelayList, kDelayListDesign}}) {
    const HWND list = control(id);
    const RECT place = at(design);
    const int want = static_cast<int>(place.bottom - place.top);
    LRESULT item = ::SendMessageA(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    for (int attempt = 0; attempt < 2 && item > 0; ++attempt) {
      RECT field{};
      ::GetWindowRect(list, &field);
      const int fieldHeight = static_cast<int>(field.bottom - field.top);
      if (fieldHeight == want) break;
      item += want - fieldHeight;
      ::SendMessageA(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item);
    }
  }
}

void WinOptionsWindow::destroy() {
  if (!loaded()) return;
  guarded(OptionsEvents::kUnloadLogName, [&] { events_.onUnload(); });
  if (loaded()) ::DestroyWindow(hwnd());
}

void WinOptionsWindow::show() {
  if (!loaded()) return;
  if (!shownSinceCreate_) {
    shownSinceCreate_ = true;
    placeWindow(true);
  }
  ::ShowWindow(hwnd(), SW_SHOWNORMAL);
  ::SetForegroundWindow(hwnd());
  ::BringWindowToTop(hwnd());
}

void WinOptionsWindow::hide() {
  if (loaded()) ::ShowWindow(hwnd(), SW_HIDE);
}

bool WinOptionsWindow::visible() const {
  return loaded() && ::IsWindowVisible(hwnd()) != 0;
}

void WinOptionsWindow::setGames(std::span<const std::string> games) {
  const HWND list = control(kGameList);
  ::SendMessageA(list, CB_RESETCONTENT, 0, 0);
  for (const std::string& game : games) {
    ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(game.c_str()));
  }
}

void WinOptionsWindow::selectGame(int index) {
  // CB_SETCURSEL tells the parent nothing: no game-picked event from here.
  ::SendMessageA(control(kGameList), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int WinOptionsWindow::selectedGame() const {
  if (!loaded()) return -1;
  return static_cast<int>(::SendMessageA(control(kGameList), CB_GETCURSEL, 0, 0));
}

void WinOptionsWindow::setDelays(std::span<const std::string> delays, int selected) {
  const HWND list = control(kDelayList);
  ::SendMessageA(list, CB_RESETCONTENT, 0, 0);
  for (const std::string& delay : delays) {
    ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(delay.c_str()));
  }
  ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int WinOptionsWindow::selectedDelay() const {
  if (!loaded()) return -1;
  return static_cast<int>(::SendMessageA(control(kDelayList), CB_GETCURSEL, 0, 0));
}

void WinOptionsWindow::setOnlineState(int state) {
  const WPARAM check = state == 1 ? BST_CHECKED : state == 2 ? BST_INDETERMINATE : BST_UNCHECKED;
  ::SendMessageA(control(kOnlineBox), BM_SETCHECK, check, 0);
}

int WinOptionsWindow::onlineState() const {
  return loaded() ? CheckState(control(kOnlineBox)) : 0;
}

bool WinOptionsWindow::autoStartChecked() const {
  return loaded() && CheckState(control(kAutoStartBox)) == 1;
}

bool WinOptionsWindow::addProcessorBox(int index, const BoxPlacement& placement) {
  const HWND source = control(kProcessorTemplate);
  if (source == nullptr) return false;
  // The template gives the size, style and font; colours come from the
  // window, as for every box.
  RECT size{};
  ::GetWindowRect(source, &size);
  const auto style = static_cast<DWORD>(::GetWindowLongPtrA(source, GWL_STYLE));
  const auto font = reinterpret_cast<HFONT>(::SendMessageA(source, WM_GETFONT, 0, 0));
  const int left = twips_.x(kFrameLeft + placement.left);
  const int top = twips_.y(kFrameTop + placement.top);
  const HWND box = ::CreateWindowExA(
      0, "BUTTON", placement.caption.c_str(),
      (style & ~static_cast<DWORD>(WS_GROUP)) | WS_VISIBLE | (boxes_.empty() ? WS_GROUP : 0U), left,
      top, size.right - size.left, size.bottom - size.top, hwnd(),
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstProcessorBox + index - 1)),
      class_.instance(), nullptr);
  if (box == nullptr) return false;
  ::SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  ::SendMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
  // The boxes share one font: the one the widest caption so far fits in.
  const std::size_t fitting = font_.fittingCheckBox(box);
  if (fitting > boxFont_) {
    boxFont_ = fitting;
    font_.setFont(source, boxFont_);
    font_.setFont(box, boxFont_);
    for (const HWND before : boxes_) {
      font_.setFont(before, boxFont_);
      ::InvalidateRect(before, nullptr, TRUE);
    }
  }
  // In the Tab order after the template and the boxes before it.
  ::SetWindowPos(box, boxes_.empty() ? source : boxes_.back(), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  boxes_.push_back(box);
  return true;
}

bool WinOptionsWindow::processorBoxChecked(int index) const {
  if (index < 1 || index > processorBoxCount()) return false;
  return CheckState(boxes_[static_cast<std::size_t>(index - 1)]) == 1;
}

void WinOptionsWindow::setProcessorBoxChecked(int index, bool checked) {
  if (index < 1 || index > processorBoxCount()) return;
  ::SendMessageA(boxes_[static_cast<std::size_t>(index - 1)], BM_SETCHECK,
                 checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void WinOptionsWindow::setFrameSize(int width, int height) {
  frameWidth_ = width;
  frameHeight_ = height;
  const RECT frame = twips_.rect(kFrameLeft, kFrameTop, width, height);
  ::MoveWindow(control(kProcessorFrame), frame.left, frame.top, frame.right - frame.left,
               frame.bottom - frame.top, TRUE);
  placeBelowFrame();
}

void WinOptionsWindow::placeBelowFrame() {
  const int shift = frameHeight_ - kFrameHeight;
  for (const BelowFrame& item : kBelowFrame) {
    ::SetWindowPos(control(item.id), nullptr, twips_.x(item.design.left),
                   twips_.y(item.design.top + shift), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void WinOptionsWindow::setDialogSize(int outerWidth, int clientHeight) {
  clientWidth_ = outerWidth - kBorderTwips;
  clientHeight_ = clientHeight;
  placeWindow(false);
}

void WinOptionsWindow::placeWindow(bool centre) {
  if (!loaded()) return;
  const RECT outer = CentredWindowRect(kStyle, 0, twips_.x(clientWidth_), twips_.y(clientHeight_));
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (!centre) flags |= SWP_NOMOVE;
  ::SetWindowPos(hwnd(), nullptr, outer.left, outer.top, outer.right - outer.left,
                 outer.bottom - outer.top, flags);
}

void WinOptionsWindow::showWarning(const std::string& text, const std::string& title) {
  ::MessageBoxA(loaded() ? hwnd() : nullptr, text.c_str(), title.c_str(),
                MB_ICONEXCLAMATION | MB_OK);
}

HBRUSH WinOptionsWindow::controlColours(HDC dc, HWND control) {
  const int id = ::GetDlgCtrlID(control);
  ::SetBkColor(dc, kBackColour);
  if (id == kProcessorHint) {
    ::SetTextColor(dc, kGreyText);
  } else if (id == kProcessorFrame) {
    ::SetTextColor(dc, ::GetSysColor(COLOR_HIGHLIGHT));
  } else {
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    if (id == kGameLabel || id == kDelayLabel || id == kSecondsLabel) ::SetBkMode(dc, TRANSPARENT);
  }
  return backBrush_.get();
}

LRESULT WinOptionsWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client{};
      ::GetClientRect(hwnd(), &client);
      ::FillRect(reinterpret_cast<HDC>(wParam), &client, backBrush_.get());
      return 1;
    }
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<LRESULT>(
          controlColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
      // The game list's field and its open list have the dialog's colour.
      const HWND gameList = control(kGameList);
      COMBOBOXINFO info{};
      info.cbSize = sizeof info;
      ::GetComboBoxInfo(gameList, &info);
      const auto from = reinterpret_cast<HWND>(lParam);
      if (from == gameList || from == info.hwndList || from == info.hwndItem) {
        const auto dc = reinterpret_cast<HDC>(wParam);
        ::SetBkColor(dc, kBackColour);
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(backBrush_.get());
      }
      return defaultProcedure(message, wParam, lParam);
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if (id == kGameList && code == CBN_SELCHANGE) {
        guarded(OptionsEvents::kGamePickedLogName, [&] { events_.onGamePicked(); });
      } else if (id == kOnlineBox && code == BN_CLICKED) {
        // Ticked or unticked; only a stored 2 shows it greyed.
        setOnlineState(onlineState() == 1 ? 0 : 1);
      } else if (id == kSaveButton && code == BN_CLICKED) {
        guarded(OptionsEvents::kSaveLogName, [&] { events_.onSave(); });
      }
      // Enter and Escape (IDOK, IDCANCEL from the keyboard navigation) do
      // nothing: only the button saves.
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(hwnd(), focus)) focus_ = focus;
      } else {
        ::SetFocus(focus_ != nullptr && ::IsWindow(focus_) ? focus_ : control(kGameList));
      }
      return 0;
    case WM_CLOSE:
      destroy();
      return 0;
    case WM_DESTROY:
      boxes_.clear();
      focus_ = nullptr;
      return 0;
    default:
      return defaultProcedure(message, wParam, lParam);
  }
}

}  // namespace tavrolin::win32
