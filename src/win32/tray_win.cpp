#include "tray_win.h"

#include <cstring>

#include "ui/tray_menu.h"

namespace tavrolin::win32 {

void WinTrayIcon::add() {
  record_.cbSize = sizeof record_;
  record_.hWnd = window_.hwnd();
  record_.uID = ui::kTrayIconId;
  record_.uFlags = ui::kTrayFlags;
  record_.uCallbackMessage = ui::kTrayCallbackMessage;
  record_.hIcon = icon_;
  const auto tip = ui::TipField(ui::kTrayTip);
  std::memcpy(record_.szTip, tip.data(), sizeof record_.szTip);
  // The result is not looked at: without an icon the program still runs, and
  // a taskbar that comes up later gets the icon then (taskbarCreated).
  send(NIM_ADD);
  shown_ = true;
}

void WinTrayIcon::remove() {
  send(NIM_DELETE);
  shown_ = false;
}

void WinTrayIcon::taskbarCreated() {
  if (shown_) send(NIM_ADD);
}

BOOL WinTrayIcon::send(DWORD message) {
  // The shell takes the full structure's type; it reads only as much as
  // cbSize says.
  NOTIFYICONDATAA data{};
  std::memcpy(&data, &record_, sizeof record_);
  return notify_(message, &data);
}

}  // namespace tavrolin::win32
