#pragma once

#include <windows.h>

#include <functional>

#include "app_icon.h"
#include "controller/form1.h"
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
class Form1Window final : public Window {
 public:
  static constexpr const char* kClassName = "Tavrolin.Form1";
  static constexpr const char* kCaption = "Form1";

  // `notify` is the shell's notification call (replaced in tests).
  Form1Window(HINSTANCE instance, const AppIcon& icon,
              WinTrayIcon::NotifyFunction notify = ::Shell_NotifyIconA);

  // Connects the Controller; from here on the window's events reach it.
  void attach(Form1& controller, MenuCommands commands);

  WindowTimers& timers() { return timers_; }
  WinTrayIcon& tray() { return tray_; }
  WinMainWindow& mainWindow() { return mainWindow_; }
  HMENU popupMenu() const { return popup_; }
  UINT taskbarCreatedMessage() const { return taskbarCreated_; }

 private:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The tray icon's notifications, as mouse-move events with X in twips.
  void Form_MouseMove(float x);
  void showPopupMenu();
  void menuCommand(ui::TrayCommand command);
  void unloadController(const char* eventName);
  void buildPopupMenu();

  WindowClass class_;
  WindowTimers timers_{*this};
  WinTrayIcon tray_;
  WinMainWindow mainWindow_{*this};
  UniqueMenu menuBar_;     // holds mnuPopMenu
  HMENU popup_ = nullptr;  // owned by menuBar_
  UINT taskbarCreated_;
  float twipsPerPixel_ = ui::TwipsPerPixel(96);
  Form1* controller_ = nullptr;
  MenuCommands commands_;
  bool unloading_ = false;
};

}  // namespace tavrolin::win32
