#pragma once

#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstddef>

#include "platform/tray_icon.h"
#include "window.h"

namespace tavrolin::win32 {

// The notification record in the shell's first form: the fields up to a 64-byte
// tip. 88 bytes in a 32-bit program, 104 in a 64-bit one.
struct TrayIconData {
  DWORD size;
  HWND window;
  UINT id;
  UINT flags;
  UINT callbackMessage;
  HICON icon;
  CHAR tip[64];
};
static_assert(sizeof(TrayIconData) == NOTIFYICONDATAA_V1_SIZE);
static_assert(offsetof(TrayIconData, window) == offsetof(NOTIFYICONDATAA, hWnd));
static_assert(offsetof(TrayIconData, callbackMessage) ==
              offsetof(NOTIFYICONDATAA, uCallbackMessage));
static_assert(offsetof(TrayIconData, icon) == offsetof(NOTIFYICONDATAA, hIcon));
static_assert(offsetof(TrayIconData, tip) == offsetof(NOTIFYICONDATAA, szTip));
#ifdef _WIN64
static_assert(sizeof(TrayIconData) == 104);
#else
static_assert(sizeof(TrayIconData) == 88);
#endif

// The icon in the notification area, owned by the main window, which receives
// its mouse notifications. The record is filled once, at the add, and used
// unchanged for the delete.
class WinTrayIcon final : public TrayIcon {
 public:
  using NotifyFunction = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAA data);

  WinTrayIcon(const Window& window, HICON icon, NotifyFunction notify = ::Shell_NotifyIconA)
      : window_(window), icon_(icon), notify_(notify) {}

  void add() override;
  void remove() override;
  // The taskbar was created anew (Explorer restarted): an icon that was shown
  // is added again, else the program would run on out of the user's reach.
  void taskbarCreated();

  const TrayIconData& record() const { return record_; }
  bool shown() const { return shown_; }

 private:
  BOOL send(DWORD message);

  const Window& window_;
  HICON icon_;
  NotifyFunction notify_;
  TrayIconData record_{};
  bool shown_ = false;
};

}  // namespace tavrolin::win32
