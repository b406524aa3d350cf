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

// One face in the design's size and steps of a quarter point smaller, for
// texts that the installed face sets wider than the design expects (Wine's
// Tahoma is about 5% wider than Windows' own; without Tahoma, Wine takes a
// wider face still, and a higher resolution rounds glyphs up): such a control
// keeps its size and takes the largest of these at which its text fits.
class FittingFonts {
 public:
  FittingFonts(const ScreenTwips& screen, const char* face, int centipoints) {
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
      fonts_[i] = MakeFont(screen, face, centipoints - static_cast<int>(i) * 25, false);
    }
  }
  HFONT design() const { return fonts_[0].get(); }
  // Index 0 is the design's size; larger ones are smaller.
  HFONT font(std::size_t index) const { return fonts_[index].get(); }

  // The largest font (its index) at which `label`'s text, wrapped at word
  // boundaries as a static control wraps it, stays inside the label; the
  // smallest when none does.
  std::size_t fittingLabel(HWND label) const {
    return firstFitting(label, [](HDC dc, const std::string& text, const RECT& client) {
      RECT needed = client;
      ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
      return needed.bottom <= client.bottom && needed.right <= client.right;
    });
  }
  // The same for a check box, whose text stands on one line after its box.
  // The system leaves about half a digit between box and text; a whole digit
  // keeps a margin for the systems that leave more.
  std::size_t fittingCheckBox(HWND box) const {
    return firstFitting(box, [](HDC dc, const std::string& text, const RECT& client) {
      SIZE extent{};
      ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
      INT digit = 0;
      ::GetCharWidth32A(dc, '0', '0', &digit);
      return ::GetSystemMetrics(SM_CXMENUCHECK) + digit + extent.cx <= client.right &&
             extent.cy <= client.bottom;
    });
  }

  // Gives the control the font found above.
  void fit(HWND label) const { setFont(label, fittingLabel(label)); }
  void fitCheckBox(HWND box) const { setFont(box, fittingCheckBox(box)); }
  void setFont(HWND control, std::size_t index) const {
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font(index)), FALSE);
  }

 private:
  template <typename Fits>
  std::size_t firstFitting(HWND control, Fits fits) const {
    const int length = ::GetWindowTextLengthA(control);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    ::GetWindowTextA(control, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    RECT client{};
    ::GetClientRect(control, &client);
    const HDC dc = ::GetDC(control);
    std::size_t chosen = fonts_.size() - 1;
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
      const HGDIOBJ old = ::SelectObject(dc, fonts_[i].get());
      const bool fitting = fits(dc, text, client);
      ::SelectObject(dc, old);
      if (fitting) {
        chosen = i;
        break;
      }
    }
    ::ReleaseDC(control, dc);
    return chosen;
  }

  // Down to 2.25 pt smaller: 6 pt from 8.25 pt, still legible, and enough
  // for the widest face Wine substitutes for a missing Tahoma.
  std::array<UniqueFont, 10> fonts_;
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
