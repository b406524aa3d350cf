#pragma once

#include <windows.h>

#include <string_view>

#include "gdi_win.h"
#include "version.h"
#include "window.h"

#define TAVROLIN_NOTICE_TEXT(x) #x
#define TAVROLIN_NOTICE_NUMBER(x) TAVROLIN_NOTICE_TEXT(x)

namespace tavrolin::win32 {

// The info window: what the program does, in two fixed texts on a panel, and
// a one-line notice below. Shown modeless; showing it again brings the same
// window forward; its close button unloads it, and the next showing makes it
// anew. It stays out of the taskbar by having an owner. It owns its system
// window with the three labels, and its brushes and fonts.
class WinInfoWindow final : public Window {
 public:
  // The class name other programs may look for; it has always been this.
  static constexpr const char* kClassName = "Tavrolin.Form2";
  static constexpr const char* kCaption = "Tavrolin";
  static constexpr COLORREF kBackColour = RGB(189, 235, 255);
  static constexpr COLORREF kPanelColour = RGB(208, 241, 255);
  static constexpr COLORREF kPanelOutline = RGB(120, 185, 225);
  static constexpr COLORREF kGreyText = RGB(128, 128, 128);
  // Fixed dialog frame with a close button and nothing else.
  static constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU;
  static constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

  static constexpr std::string_view kAboutText =
      "This tool will readjust thread CPU affinity on the fly across all available cores.  It will "
      "help Supreme Commander fully utilize Dual, Quad and even Octo cores.  Up to 32 processor "
      "cores are supported and in the options menu you can choose which specific cores the "
      "application should be split across, if desired.";
  static constexpr std::string_view kBeepText =
      "A system beep will be heard when the threading adjustment takes place.  It takes about a "
      "second for it to take effect.  Task Manager will visually reflect the better distribution "
      "across all cores.  Now Dual, Quad and Octo cores can be further leveraged for smoother "
      "play and for far larger games.";
  // The notice below the panel: the name and the version, one line.
  static constexpr std::string_view kNotice = "Tavrolin version " TAVROLIN_NOTICE_NUMBER(
      TAVROLIN_VERSION_MAJOR) "." TAVROLIN_NOTICE_NUMBER(TAVROLIN_VERSION_MINOR);
  static_assert(kNotice.size() == 20, "the notice is 20 characters long: choose a new one");

  enum Control : int { kAboutTextId = 100, kBeepTextId, kNoticeId };

  // `owner` keeps the window out of the taskbar (the Controller's hidden
  // window); without one it is a tool window.
  WinInfoWindow(const WindowClass& windowClass, HWND owner);

  void show();
  HWND control(int id) const { return ::GetDlgItem(hwnd(), id); }

 private:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void createControls();
  void paint();

  const WindowClass& class_;
  HWND owner_;
  ScreenTwips twips_;
  UniqueBrush backBrush_;
  UniqueBrush panelBrush_;
  FittingFonts font_;  // Tahoma 8.25 pt
};

}  // namespace tavrolin::win32
