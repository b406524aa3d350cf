#include "tray_win.h"

#include <cstring>

#include "ui/tray_menu.h"

namespace tavrolin::win32 {

void WinTrayIcon::add() {
  record_.size = sizeof record_;
  record_.window = window_.hwnd();
  record_.id = ui::kTrayIconId;
  record_.flags = ui::kTrayFlags;
  record_.callbackMessage = ui::kTrayCallbackMessage;
  record_.icon = icon_;
  const auto tip = ui::TipField(ui::kTrayTip);
  std::memcpy(record_.tip, tip.data(), sizeof record_.tip);
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
  // the record's size says.
  NOTIFYICONDATAA data{};
  std::memcpy(&data, &record_, sizeof record_);
  return notify_(message, &data);
}

}  // namespace tavrolin::win32
