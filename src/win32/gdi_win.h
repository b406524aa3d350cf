#pragma once

// What the options dialog and the info window share: owners for their GDI
// objects, twips at the screen's resolution, and their fonts.

#include <windows.h>

#include <array>
#include <string>

#include "win_handles.h"

namespace tavrolin::win32 {

namespace detail {
inline void DeleteGdiObject(HGDIOBJ object) {
  ::DeleteObject(object);
}
inline void DeleteFontHandle(HFONT font) {
  DeleteGdiObject(font);
}
inline void DeleteBrushHandle(HBRUSH brush) {
  DeleteGdiObject(brush);
}
}  // namespace detail

using UniqueFont = UniqueOf<HFONT, detail::DeleteFontHandle>;
using UniqueBrush = UniqueOf<HBRUSH, detail::DeleteBrushHandle>;

// Twips (1/1440 inch) to pixels at the screen's real resolution: 15 twips to
// the pixel at 96 dots per inch.
class ScreenTwips {
 public:
  ScreenTwips() {
    const HDC screen = ::GetDC(nullptr);
    if (screen == nullptr) return;
    dpiX_ = ::GetDeviceCaps(screen, LOGPIXELSX);
    dpiY_ = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    if (dpiX_ <= 0) dpiX_ = 96;
    if (dpiY_ <= 0) dpiY_ = 96;
  }
  int x(int twips) const { return ::MulDiv(twips, dpiX_, 1440); }
  int y(int twips) const { return ::MulDiv(twips, dpiY_, 1440); }
  RECT rect(int left, int top, int width, int height) const {
    return {x(left), y(top), x(left + width), y(top + height)};
  }
  int dpiY() const { return dpiY_; }

 private:
  int dpiX_ = 96;
  int dpiY_ = 96;
};

// A font of `face` at `centipoints` hundredths of a point (825 for 8.25 pt).
inline UniqueFont MakeFont(const ScreenTwips& screen, const char* face, int centipoints,
                           bool bold) {
  LOGFONTA font{};
  font.lfHeight = -::MulDiv(centipoints, screen.dpiY(), 7200);
  font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = ANSI_CHARSET;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
  ::lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
  return UniqueFont(::CreateFontIndirectA(&font));
}

// One face in the design's size and a few steps smaller, for labels whose
// text the installed face sets wider than the design expects (Wine's Tahoma
// is about 5% wider than Windows' own): such a label keeps its size and takes
// the largest of these at which its text fits.
class FittingFonts {
 public:
  FittingFonts(const ScreenTwips& screen, const char* face, int centipoints) {
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
      fonts_[i] = MakeFont(screen, face, centipoints - static_cast<int>(i) * 25, false);
    }
  }
  HFONT design() const { return fonts_[0].get(); }

  // Gives `label` (a static control that wraps at word boundaries) the
  // largest font at which its text stays inside it; the smallest when none.
  void fit(HWND label) const {
    const int length = ::GetWindowTextLengthA(label);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    ::GetWindowTextA(label, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    RECT client{};
    ::GetClientRect(label, &client);
    const HDC dc = ::GetDC(label);
    HFONT chosen = fonts_.back().get();
    for (const UniqueFont& font : fonts_) {
      const HGDIOBJ old = ::SelectObject(dc, font.get());
      RECT needed = client;
      ::DrawTextA(dc, text.c_str(), length, &needed,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
      ::SelectObject(dc, old);
      if (needed.bottom <= client.bottom && needed.right <= client.right) {
        chosen = font.get();
        break;
      }
    }
    ::ReleaseDC(label, dc);
    ::SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), FALSE);
  }

 private:
  std::array<UniqueFont, 6> fonts_;  // down to 1.25 pt smaller
};

// The outer rectangle of a window of `style` whose client area is `width` x
// `height` pixels, centred on the screen.
inline RECT CentredWindowRect(DWORD style, DWORD exStyle, int width, int height) {
  RECT frame{0, 0, width, height};
  ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int outerWidth = frame.right - frame.left;
  const int outerHeight = frame.bottom - frame.top;
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2;
  return {left, top, left + outerWidth, top + outerHeight};
}

}  // namespace tavrolin::win32
