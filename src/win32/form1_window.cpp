#include "form1_window.h"

#include <windowsx.h>

#include <string>

namespace tavrolin::win32 {

namespace {

// The screen's horizontal resolution, for twips.
int ScreenDotsPerInch() {
  const HDC screen = ::GetDC(nullptr);
  if (screen == nullptr) return 96;
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

}  // namespace

Form1Window::Form1Window(HINSTANCE instance, const AppIcon& icon,
                         WinTrayIcon::NotifyFunction notify)
    : class_(instance, kClassName, {.icon = icon.largeIcon(), .smallIcon = icon.smallIcon()}),
      tray_(*this, icon.smallIcon(), notify),
      taskbarCreated_(::RegisterWindowMessageA("TaskbarCreated")) {
  buildPopupMenu();
  // Fixed single border without minimize and maximize boxes; minimized and
  // not visible from the start. A tool window never shows in the taskbar.
  Placement placement;
  placement.style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZE;
  placement.exStyle = WS_EX_TOOLWINDOW;
  create(class_, kCaption, placement);
  twipsPerPixel_ = ui::TwipsPerPixel(ScreenDotsPerInch());
}

void Form1Window::buildPopupMenu() {
  UniqueMenu popup(::CreatePopupMenu());
  for (const ui::MenuItem& item : ui::kPopupMenuItems) {
    if (item.separator()) {
      ::AppendMenuA(popup.get(), MF_SEPARATOR, 0, nullptr);
    } else {
      const std::string caption(item.caption);
      ::AppendMenuA(popup.get(), MF_STRING, static_cast<UINT_PTR>(item.command), caption.c_str());
    }
  }
  ::SetMenuDefaultItem(popup.get(), static_cast<UINT>(ui::kDefaultMenuCommand), FALSE);
  menuBar_.reset(::CreateMenu());
  const std::string caption(ui::kPopupMenuCaption);
  popup_ = popup.get();
  if (::AppendMenuA(menuBar_.get(), MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup_),
                    caption.c_str()) != 0) {
    (void)popup.release();  // the bar owns it now
  } else {
    menuBar_.reset(popup.release());  // keep it owned all the same
  }
}

void Form1Window::attach(Form1& controller, MenuCommands commands) {
  controller_ = &controller;
  commands_ = std::move(commands);
  setEventLog(controller.log());
}

LRESULT Form1Window::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (controller_ == nullptr) {
    // Not connected yet (the window is being created): nothing to run.
    return defaultProcedure(message, wParam, lParam);
  }
  switch (message) {
    case WM_TIMER:
      // Each tick guards itself.
      timers_.dispatch(wParam);
      return 0;
    case WM_SIZE:
      guarded("Form_Resize", [&] { controller_->Form_Resize(); });
      return 0;
    case ui::kTrayCallbackMessage: {
      const float x = ui::XInTwips(GET_X_LPARAM(lParam), twipsPerPixel_);
      guarded("Form_MouseMove", [&] { Form_MouseMove(x); });
      return 0;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == 0) menuCommand(static_cast<ui::TrayCommand>(LOWORD(wParam)));
      return 0;
    case WM_CLOSE:
      unloadController("Form_Unload");
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != 0) unloadController("Form_Unload");
      return 0;
    case WM_DESTROY:
      unloadController("Form_Unload");
      return 0;
    default:
      if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        guarded("TaskbarCreated", [&] { tray_.taskbarCreated(); });
        return 0;
      }
      return defaultProcedure(message, wParam, lParam);
  }
}

void Form1Window::Form_MouseMove(float x) {
  if (ui::OpensPopupMenu(ui::MouseMessageFromX(x, twipsPerPixel_))) showPopupMenu();
}

void Form1Window::showPopupMenu() {
  POINT cursor{};
  ::GetCursorPos(&cursor);
  ::SetMenuDefaultItem(popup_, static_cast<UINT>(ui::kDefaultMenuCommand), FALSE);
  // In the foreground the menu closes when the user clicks elsewhere; the
  // empty message afterwards lets a second click on the icon work at once.
  ::SetForegroundWindow(hwnd());
  ::TrackPopupMenu(popup_, 0, cursor.x, cursor.y, 0, hwnd(), nullptr);
  ::PostMessageA(hwnd(), WM_NULL, 0, 0);
}

void Form1Window::menuCommand(ui::TrayCommand command) {
  switch (command) {
    case ui::TrayCommand::kClose:
      break;  // the menu has closed already
    case ui::TrayCommand::kOptions:
      guarded("mnuOptions_Click", [&] {
        if (commands_.showOptions) commands_.showOptions();
      });
      break;
    case ui::TrayCommand::kInfo:
      guarded("mnuInfo_Click", [&] {
        if (commands_.showInfo) commands_.showInfo();
      });
      break;
    case ui::TrayCommand::kExit:
      unloading_ = true;
      guarded("mnuExit_Click", [&] { controller_->mnuExit_Click(); });
      break;
    case ui::TrayCommand::kNone:
      break;
  }
}

void Form1Window::unloadController(const char* eventName) {
  if (unloading_) return;
  unloading_ = true;
  guarded(eventName, [&] { controller_->Form_Unload(); });
}

}  // namespace tavrolin::win32
