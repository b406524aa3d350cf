#include "controller_window.h"

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

ControllerWindow::ControllerWindow(HINSTANCE instance, const AppIcon& icon,
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

void ControllerWindow::buildPopupMenu() {
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

void ControllerWindow::attach(Controller& controller, MenuCommands commands) {
  controller_ = &controller;
  commands_ = std::move(commands);
  setEventLog(controller.log());
}

LRESULT ControllerWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
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
      guarded(kWindowResizedLogName, [&] { controller_->onWindowResized(); });
      return 0;
    case ui::kTrayCallbackMessage: {
      const float x = ui::XInTwips(GET_X_LPARAM(lParam), twipsPerPixel_);
      guarded(kTrayNotificationLogName, [&] { onTrayNotification(x); });
      return 0;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == 0) menuCommand(static_cast<ui::TrayCommand>(LOWORD(wParam)));
      return 0;
    case WM_CLOSE:
      shutDownController();
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != 0) shutDownController();
      return 0;
    case WM_DESTROY:
      shutDownController();
      return 0;
    default:
      if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        guarded(kTaskbarCreatedLogName, [&] { tray_.taskbarCreated(); });
        return 0;
      }
      return defaultProcedure(message, wParam, lParam);
  }
}

void ControllerWindow::onTrayNotification(float x) {
  if (ui::OpensPopupMenu(ui::MouseMessageFromX(x, twipsPerPixel_))) showPopupMenu();
}

void ControllerWindow::showPopupMenu() {
  POINT cursor{};
  ::GetCursorPos(&cursor);
  ::SetMenuDefaultItem(popup_, static_cast<UINT>(ui::kDefaultMenuCommand), FALSE);
  // In the foreground the menu closes when the user clicks elsewhere; the
  // empty message afterwards lets a second click on the icon work at once.
  ::SetForegroundWindow(hwnd());
  ::TrackPopupMenu(popup_, 0, cursor.x, cursor.y, 0, hwnd(), nullptr);
  ::PostMessageA(hwnd(), WM_NULL, 0, 0);
}

void ControllerWindow::menuCommand(ui::TrayCommand command) {
  switch (command) {
    case ui::TrayCommand::kClose:
      break;  // the menu has closed already
    case ui::TrayCommand::kOptions:
      guarded(ui::CommandLogName(command), [&] {
        if (commands_.showOptions) commands_.showOptions();
      });
      break;
    case ui::TrayCommand::kInfo:
      guarded(ui::CommandLogName(command), [&] {
        if (commands_.showInfo) commands_.showInfo();
      });
      break;
    case ui::TrayCommand::kExit:
      unloading_ = true;
      guarded(ui::CommandLogName(command), [&] { controller_->exitProgram(); });
      break;
    case ui::TrayCommand::kNone:
      break;
  }
}

void ControllerWindow::shutDownController() {
  if (unloading_) return;
  unloading_ = true;
  guarded(kShutdownLogName, [&] { controller_->shutDown(); });
}

}  // namespace tavrolin::win32
