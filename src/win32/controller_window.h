#pragma once

#include <windows.h>

#include <functional>
#include <string_view>

#include "app_icon.h"
#include "controller/controller.h"
#include "main_window_win.h"
#include "tray_win.h"
#include "ui/tray_menu.h"
#include "win_handles.h"
#include "window.h"
#include "window_timers.h"

namespace tavrolin::win32 {

// What the tray menu's "   Options" and "      Info" open.
struct MenuCommands {
  std::function<void()> showOptions;
  std::function<void()> showInfo;
};

// The Controller's window: never seen (created minimized and hidden, and not
// in the taskbar), it carries the Controller's timers, owns the tray icon and
// its popup menu, and receives the icon's notifications.
class ControllerWindow final : public Window {
 public:
  // Other programs find the window by its class (the tests' taskbar tool does),
  // so the name stays as it has always been; the caption is the one the
  // window has always had.
  static constexpr const char* kClassName = "Tavrolin.Form1";
  static constexpr const char* kCaption = "Form1";
  // What ErrorLog.txt calls the window's own events.
  static constexpr std::string_view kTrayNotificationLogName = "Form_MouseMove";
  static constexpr std::string_view kTaskbarCreatedLogName = "TaskbarCreated";

  // `notify` is the shell's notification call (replaced in tests).
  ControllerWindow(HINSTANCE instance, const AppIcon& icon,
                   WinTrayIcon::NotifyFunction notify = ::Shell_NotifyIconA);

  // Connects the Controller; from here on the window's events reach it.
  void attach(Controller& controller, MenuCommands commands);

  WindowTimers& timers() { return timers_; }
  WinTrayIcon& tray() { return tray_; }
  WinMainWindow& mainWindow() { return mainWindow_; }
  HMENU popupMenu() const { return popup_; }
  UINT taskbarCreatedMessage() const { return taskbarCreated_; }

 private:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The tray icon's notifications, as mouse-move events with X in twips.
  void onTrayNotification(float x);
  void showPopupMenu();
  void menuCommand(ui::TrayCommand command);
  void shutDownController();
  void buildPopupMenu();

  WindowClass class_;
  WindowTimers timers_{*this};
  WinTrayIcon tray_;
  WinMainWindow mainWindow_{*this};
  UniqueMenu menuBar_;     // holds the popup menu
  HMENU popup_ = nullptr;  // owned by menuBar_
  UINT taskbarCreated_;
  float twipsPerPixel_ = ui::TwipsPerPixel(96);
  Controller* controller_ = nullptr;
  MenuCommands commands_;
  bool unloading_ = false;
};

}  // namespace tavrolin::win32
