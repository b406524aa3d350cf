#pragma once

#include <windows.h>

#include <vector>

#include "diagnostics/error_log.h"
#include "gdi_win.h"
#include "platform/options_window.h"
#include "window.h"

namespace tavrolin::win32 {

// The options dialog's window: the controls of the dialog's design at their
// places in twips, converted at the screen's resolution. Only the user's
// actions raise events; what the logic sets raises none. It owns its system
// window with every control and processor box in it, and its brush and fonts.
class WinOptionsWindow final : public Window, public OptionsWindow {
 public:
  // The class name other programs may look for; it has always been this.
  static constexpr const char* kClassName = "Tavrolin.Form3";
  static constexpr const char* kCaption = "Tavrolin";
  static constexpr COLORREF kBackColour = RGB(208, 241, 255);
  static constexpr COLORREF kGreyText = RGB(128, 128, 128);
  static constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU;  // fixed border, close button only

  // The controls, in the order of the design (which is also the Tab order).
  enum Control : int {
    kGameLabel = 100,
    kGameList,
    kProcessorFrame,
    kProcessorHint,
    kProcessorTemplate,  // hidden; the processor boxes are made from it
    kDelayLabel,
    kDelayList,
    kSecondsLabel,
    kOnlineBox,
    kAutoStartBox,
    kSaveButton,
    kFirstProcessorBox = 1000,  // processor box i has kFirstProcessorBox + i - 1
  };

  // `log` receives the reports of failures that no handler took in the
  // events; may be null (no guard).
  WinOptionsWindow(const WindowClass& windowClass, OptionsEvents& events, ErrorLog* log);

  bool create() override;
  bool exists() const override { return loaded(); }
  void destroy() override;
  void show() override;
  void hide() override;
  bool visible() const override;

  void setGames(std::span<const std::string> games) override;
  void selectGame(int index) override;
  int selectedGame() const override;
  void setDelays(std::span<const std::string> delays, int selected) override;
  int selectedDelay() const override;
  void setOnlineState(int state) override;
  int onlineState() const override;
  bool autoStartChecked() const override;

  bool addProcessorBox(int index, const BoxPlacement& placement) override;
  int processorBoxCount() const override { return static_cast<int>(boxes_.size()); }
  bool processorBoxChecked(int index) const override;
  void setProcessorBoxChecked(int index, bool checked) override;

  void setFrameSize(int width, int height) override;
  void setDialogSize(int outerWidth, int clientHeight) override;

  void showWarning(const std::string& text, const std::string& title) override;

  // The Controller's shutdown unloads the dialog like its close button does.
  void unload() override { destroy(); }

  HWND control(int id) const { return ::GetDlgItem(hwnd(), id); }

 private:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void createControls();
  HWND addControl(int id, const char* windowClass, const char* text, DWORD style, RECT place,
                  HFONT font);
  HBRUSH controlColours(HDC dc, HWND control);
  void placeBelowFrame();
  void placeWindow(bool centre);

  const WindowClass& class_;
  OptionsEvents& events_;
  ErrorLog* log_;
  ScreenTwips twips_;
  UniqueBrush backBrush_;
  FittingFonts font_;        // Tahoma 8.25 pt, and smaller for texts that need it
  UniqueFont boldFont_;      // the game list
  UniqueFont smallFont_;     // the processor hint, 6.75 pt
  std::vector<HWND> boxes_;  // processor boxes 1 to N; children of the window
  std::size_t boxFont_ = 0;  // the boxes' font in font_
  int frameWidth_ = 0;       // twips
  int frameHeight_ = 0;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
  bool shownSinceCreate_ = false;
  HWND focus_ = nullptr;  // the control to give the focus back to
};

}  // namespace tavrolin::win32
