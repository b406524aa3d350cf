// The options dialog's and the info window's real windows: their controls
// (classes, styles, places, captions, fonts) at the screen's resolution, the
// events only the user raises, unloading, the processor boxes, and the dialog
// driven by its logic with the Controller on test doubles.
#include <gtest/gtest.h>

#include <windows.h>

#include <uxtheme.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "controller/controller.h"
#include "fake_platform.h"
#include "info_window_win.h"
#include "options_window_win.h"
#include "windows_win.h"

namespace tavrolin::win32 {
namespace {

HINSTANCE Instance() {
  return ::GetModuleHandleA(nullptr);
}

int ScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

std::string TextOf(HWND window) {
  char text[512] = {};
  ::GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

LONG_PTR StyleOf(HWND window) {
  return ::GetWindowLongPtrA(window, GWL_STYLE);
}

// A control's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND control) {
  RECT place{};
  ::GetWindowRect(control, &place);
  ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

// Places and sizes in pixels at each resolution the tests run at, worked out
// by hand from the design's twips (1440 to the inch; halves round up): the
// dialog's 4215 x 4005 twips are 281 x 267 pixels at 96 dpi, 351.25 x 333.75
// at 120, 421.5 x 400.5 at 144.
struct Figures {
  int dpi;
  SIZE options;                     // the options dialog's client area
  RECT gameList, hint, saveButton;  // in it: the top row, inside the frame, below it
  POINT firstBox;                   // a processor box placed at 240, 600 in the frame
  SIZE box;                         // every processor box
  // 33 to 40 boxes: the dialog, its frame's height and the online box's top.
  SIZE optionsWithFiveRows;
  int frameWithFiveRows, onlineWithFiveRows;
  SIZE info;                 // the info window's client area
  RECT notice;               // its one-line notice
  int font, note, smallest;  // heights of 8.25 pt, 6.75 pt and 6 pt
};
// clang-format off
constexpr Figures kFigures[] = {
    {96, {281, 267}, {88, 6, 265, 27}, {24, 56, 217, 68}, {84, 240, 197, 261}, {32, 80}, {57, 13},
     {689, 291}, 161, 232, {329, 192}, {108, 176, 221, 193}, 11, 9, 8},
    {120, {351, 334}, {110, 8, 331, 34}, {30, 70, 271, 85}, {105, 300, 246, 326}, {40, 100},
     {71, 16}, {861, 364}, 201, 290, {411, 240}, {135, 220, 276, 241}, 14, 11, 10},
    {144, {422, 401}, {132, 9, 398, 41}, {36, 84, 326, 102}, {126, 360, 296, 392}, {48, 120},
     {86, 20}, {1034, 437}, 242, 348, {494, 288}, {162, 264, 332, 290}, 17, 14, 12},
    {192, {562, 534}, {176, 12, 530, 54}, {48, 112, 434, 136}, {168, 480, 394, 522}, {64, 160},
     {114, 26}, {1378, 582}, 322, 464, {658, 384}, {216, 352, 442, 386}, 22, 18, 16},
};
// clang-format on

// The figures for the screen's resolution; null where none were worked out.
const Figures* FiguresHere() {
  for (const Figures& figures : kFigures) {
    if (figures.dpi == ScreenDpi()) return &figures;
  }
  return nullptr;
}

bool Inside(const RECT& inner, const RECT& outer) {
  RECT common{};
  return ::IntersectRect(&common, &inner, &outer) != 0 && ::EqualRect(&common, &inner) != 0;
}

::testing::AssertionResult SameRect(const RECT& actual, const RECT& expected) {
  if (::EqualRect(&actual, &expected) != 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "(" << actual.left << "," << actual.top << ")-(" << actual.right << "," << actual.bottom
         << "), expected (" << expected.left << "," << expected.top << ")-(" << expected.right
         << "," << expected.bottom << ")";
}

LOGFONTA FontOf(HWND control) {
  LOGFONTA font{};
  const auto handle = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
  ::GetObjectA(handle, sizeof font, &font);
  return font;
}

// Records the events in their order.
class RecordingEvents final : public OptionsEvents {
 public:
  void onGamePicked() override { events.push_back("game picked"); }
  void onSave() override { events.push_back("save"); }
  void onUnload() override {
    events.push_back("unload");
    if (whileUnloading) whileUnloading();
  }
  std::vector<std::string> events;
  std::function<void()> whileUnloading;
};

class OptionsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(class_.registered());
    ASSERT_TRUE(window_.create());
  }
  HWND control(int id) const { return window_.control(id); }
  // What the user does: the keyboard in a closed list, a button's click.
  void userPressesDownIn(int id) {
    ::SendMessageA(control(id), WM_KEYDOWN, VK_DOWN, 0);
    ::SendMessageA(control(id), WM_KEYUP, VK_DOWN, 0);
  }
  void userClicks(HWND button) { ::SendMessageA(button, BM_CLICK, 0, 0); }

  WindowClass class_{Instance(), WinOptionsWindow::kClassName, {.background = nullptr}};
  RecordingEvents events_;
  WinOptionsWindow window_{class_, events_, nullptr};
};

TEST_F(OptionsWindowTest, TheWindowIsAFixedDialogWithOnlyACloseButton) {
  const Figures* at = FiguresHere();
  if (at == nullptr) GTEST_SKIP() << "no figures worked out for " << ScreenDpi() << " dpi";
  const HWND hwnd = window_.hwnd();
  EXPECT_EQ(TextOf(hwnd), "Tavrolin");
  EXPECT_FALSE(window_.visible());  // created hidden
  const LONG_PTR style = StyleOf(hwnd);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_NE(style & WS_SYSMENU, 0);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  RECT client{};
  ::GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, at->options.cx);
  EXPECT_EQ(client.bottom, at->options.cy);

  window_.show();
  RECT outer{};
  ::GetWindowRect(hwnd, &outer);
  EXPECT_NEAR((outer.left + outer.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((outer.top + outer.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
}

TEST_F(OptionsWindowTest, EveryControlIsInsideTheWindowAndThreeStandWhereWorkedOut) {
  const Figures* at = FiguresHere();
  if (at == nullptr) GTEST_SKIP() << "no figures worked out for " << ScreenDpi() << " dpi";
  struct Expected {
    int id;
    const char* windowClass;
    const char* text;
    bool visible;
  };
  const Expected table[] = {
      {WinOptionsWindow::kGameLabel, "Static", "Choose Game:", true},
      {WinOptionsWindow::kGameList, "ComboBox", "", true},
      {WinOptionsWindow::kProcessorFrame, "Button", "Custom Processor Affinity", true},
      {WinOptionsWindow::kProcessorHint, "Static", "(only selected processors will be used)", true},
      {WinOptionsWindow::kProcessorTemplate, "Button", "array", false},
      {WinOptionsWindow::kDelayLabel, "Static", "Auto initialize after game start in ", true},
      {WinOptionsWindow::kDelayList, "ComboBox", "", true},
      {WinOptionsWindow::kSecondsLabel, "Static", "seconds.", true},
      {WinOptionsWindow::kOnlineBox, "Button", "Enabled for online play", true},
      {WinOptionsWindow::kAutoStartBox, "Button", "Auto initialize after game start - ", false},
      {WinOptionsWindow::kSaveButton, "Button", "Close and Save", true},
  };
  RECT client{};
  ::GetClientRect(window_.hwnd(), &client);
  for (const Expected& expected : table) {
    SCOPED_TRACE(expected.text);
    const HWND item = control(expected.id);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(ClassOf(item), expected.windowClass);
    EXPECT_EQ(TextOf(item), expected.text);
    EXPECT_EQ((StyleOf(item) & WS_VISIBLE) != 0, expected.visible);
    EXPECT_TRUE(Inside(PlaceOf(item), client));
  }
  EXPECT_TRUE(SameRect(PlaceOf(control(WinOptionsWindow::kGameList)), at->gameList));
  EXPECT_TRUE(SameRect(PlaceOf(control(WinOptionsWindow::kProcessorHint)), at->hint));
  EXPECT_TRUE(SameRect(PlaceOf(control(WinOptionsWindow::kSaveButton)), at->saveButton));
}

TEST_F(OptionsWindowTest, ListsAllowNoTypingAndTheBoxesHaveTheirKinds) {
  for (const int id : {WinOptionsWindow::kGameList, WinOptionsWindow::kDelayList}) {
    EXPECT_EQ(StyleOf(control(id)) & 3, CBS_DROPDOWNLIST);
    // A list that allows typing has an edit field.
    EXPECT_EQ(::FindWindowExA(control(id), nullptr, "Edit", nullptr), nullptr);
    // Typing only moves the selection; a letter that starts no entry does nothing.
    const std::vector<std::string> entries{"20", "30"};
    id == WinOptionsWindow::kGameList ? window_.setGames(entries) : window_.setDelays(entries, 0);
    ::SendMessageA(control(id), CB_SETCURSEL, 0, 0);
    ::SendMessageA(control(id), WM_CHAR, 'x', 0);
    EXPECT_EQ(TextOf(control(id)), "20");
  }
  EXPECT_EQ(StyleOf(control(WinOptionsWindow::kOnlineBox)) & BS_TYPEMASK, BS_3STATE);
  EXPECT_EQ(StyleOf(control(WinOptionsWindow::kProcessorTemplate)) & BS_TYPEMASK, BS_AUTOCHECKBOX);
  EXPECT_EQ(StyleOf(control(WinOptionsWindow::kProcessorFrame)) & BS_TYPEMASK, BS_GROUPBOX);
  EXPECT_EQ(StyleOf(control(WinOptionsWindow::kSaveButton)) & BS_TYPEMASK, BS_PUSHBUTTON);
  // The hidden auto-start box is checked and stays so: unloading keeps the poll on.
  EXPECT_TRUE(window_.autoStartChecked());
  EXPECT_EQ(window_.onlineState(), 0);  // unchecked at design

  window_.setOnlineState(2);
  EXPECT_EQ(window_.onlineState(), 2);
  EXPECT_EQ(::SendMessageA(control(WinOptionsWindow::kOnlineBox), BM_GETCHECK, 0, 0),
            BST_INDETERMINATE);
  // The user's clicks tick and untick it; greyed, a click ticks it.
  userClicks(control(WinOptionsWindow::kOnlineBox));
  EXPECT_EQ(window_.onlineState(), 1);
  userClicks(control(WinOptionsWindow::kOnlineBox));
  EXPECT_EQ(window_.onlineState(), 0);
  userClicks(control(WinOptionsWindow::kOnlineBox));
  EXPECT_EQ(window_.onlineState(), 1);
  EXPECT_TRUE(events_.events.empty());
}

TEST_F(OptionsWindowTest, TahomaWithABoldGameListAndASmallGreyNote) {
  const Figures* at = FiguresHere();
  if (at == nullptr) GTEST_SKIP() << "no figures worked out for " << ScreenDpi() << " dpi";
  for (const int id : {WinOptionsWindow::kDelayList, WinOptionsWindow::kProcessorFrame,
                       WinOptionsWindow::kSaveButton, WinOptionsWindow::kProcessorTemplate}) {
    const LOGFONTA font = FontOf(control(id));
    EXPECT_STREQ(font.lfFaceName, "Tahoma");
    EXPECT_EQ(font.lfHeight, -at->font);
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
  }
  // Labels and the online box may step down to 6 pt to fit their texts.
  for (const int id : {WinOptionsWindow::kGameLabel, WinOptionsWindow::kDelayLabel,
                       WinOptionsWindow::kOnlineBox}) {
    const LOGFONTA font = FontOf(control(id));
    EXPECT_STREQ(font.lfFaceName, "Tahoma");
    EXPECT_LE(font.lfHeight, -at->smallest);
    EXPECT_GE(font.lfHeight, -at->font);
  }
  const LOGFONTA bold = FontOf(control(WinOptionsWindow::kGameList));
  EXPECT_STREQ(bold.lfFaceName, "Tahoma");
  EXPECT_EQ(bold.lfHeight, -at->font);
  EXPECT_EQ(bold.lfWeight, FW_BOLD);
  EXPECT_EQ(FontOf(control(WinOptionsWindow::kProcessorHint)).lfHeight, -at->note);

  // Colours: the grey note, the frame's caption in the highlight colour, and
  // the dialog's colour behind the labels and boxes.
  const HDC dc = ::GetDC(window_.hwnd());
  const auto colours = [&](int id) {
    ::SendMessageA(window_.hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(control(id)));
    return ::GetTextColor(dc);
  };
  EXPECT_EQ(colours(WinOptionsWindow::kProcessorHint), RGB(128, 128, 128));
  EXPECT_EQ(::GetBkColor(dc), RGB(208, 241, 255));
  EXPECT_EQ(colours(WinOptionsWindow::kProcessorFrame), ::GetSysColor(COLOR_HIGHLIGHT));
  colours(WinOptionsWindow::kOnlineBox);
  EXPECT_EQ(::GetBkColor(dc), RGB(208, 241, 255));
  colours(WinOptionsWindow::kGameLabel);
  EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
  ::ReleaseDC(window_.hwnd(), dc);
}

// Visual styles would draw the frame's caption and the game list's field in
// their own colours. The tests run with the program's manifest, so with the
// themed controls the program gets; the save button shows that a theme is
// there to be switched off.
TEST_F(OptionsWindowTest, TheFrameAndTheGameListAreDrawnWithoutVisualStyles) {
  if (::IsThemeActive() == 0) GTEST_SKIP() << "no visual style is active";
  EXPECT_NE(::GetWindowTheme(control(WinOptionsWindow::kSaveButton)), nullptr);
  EXPECT_EQ(::GetWindowTheme(control(WinOptionsWindow::kProcessorFrame)), nullptr);
  EXPECT_EQ(::GetWindowTheme(control(WinOptionsWindow::kGameList)), nullptr);
}

// Where the control draws its text when it has room: drawn four times as wide
// into a bitmap of the dialog's colour, the last column and row (from the
// control's corner) with ink, a pixel well away from that colour.
struct Ink {
  int right = -1;
  int bottom = -1;
};
Ink InkWhenWide(HWND control) {
  const RECT place = PlaceOf(control);
  const int width = 4 * (place.right - place.left);
  const int height = place.bottom - place.top;
  ::SetWindowPos(control, nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HDC dc = ::CreateCompatibleDC(nullptr);
  const HGDIOBJ old = ::SelectObject(dc, bitmap);
  const HBRUSH back = ::CreateSolidBrush(WinOptionsWindow::kBackColour);
  const RECT all{0, 0, width, height};
  ::FillRect(dc, &all, back);
  ::SendMessageA(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc),
                 PRF_CLIENT | PRF_ERASEBKGND);
  ::GdiFlush();
  Ink ink;
  const auto* pixels = static_cast<const std::uint32_t*>(bits);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t pixel = pixels[y * width + x];  // 0xRRGGBB
      const int distance = std::abs(static_cast<int>((pixel >> 16) & 0xFF) - 208) +
                           std::abs(static_cast<int>((pixel >> 8) & 0xFF) - 241) +
                           std::abs(static_cast<int>(pixel & 0xFF) - 255);
      if (distance < 96) continue;
      ink.right = std::max(ink.right, x);
      ink.bottom = std::max(ink.bottom, y);
    }
  }
  ::SelectObject(dc, old);
  ::DeleteDC(dc);
  ::DeleteObject(bitmap);
  ::DeleteObject(back);
  ::SetWindowPos(control, nullptr, 0, 0, place.right - place.left, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
  return ink;
}

// A text's width in the control's font.
int TextWidth(HWND control, const std::string& text) {
  const HDC dc = ::GetDC(control);
  const HGDIOBJ old =
      ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)));
  SIZE extent{};
  ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  return extent.cx;
}

// At the screen's resolution and with whatever face stands in for Tahoma, no
// text is cut, and none wraps: the design shows each on one line. Labels and
// check boxes are measured as drawn; the lists, the frame and the button by
// the extent of their texts beside what the control itself takes.
TEST_F(OptionsWindowTest, EveryTextIsWholeAtTheScreensResolution) {
  // The runs say which resolution and whether Tahoma is there: the prefix's
  // settings must hold, or the run would test something else.
  if (const char* dpi = std::getenv("TAVROLIN_TEST_DPI")) {
    EXPECT_EQ(ScreenDpi(), std::atoi(dpi));
  }
  if (const char* tahoma = std::getenv("TAVROLIN_TEST_TAHOMA")) {
    const HDC dc = ::GetDC(window_.hwnd());
    const HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(
                               control(WinOptionsWindow::kSaveButton), WM_GETFONT, 0, 0)));
    char face[LF_FACESIZE] = {};
    ::GetTextFaceA(dc, sizeof face, face);
    ::SelectObject(dc, old);
    ::ReleaseDC(window_.hwnd(), dc);
    EXPECT_EQ(std::string(face) == "Tahoma", std::string(tahoma) == "1") << "drawn in " << face;
  }
  for (int box = 1; box <= 32; ++box) {
    ASSERT_TRUE(
        window_.addProcessorBox(box, {240, 600, 855, 195, "CPU " + std::to_string(box - 1)}));
  }
  std::vector<HWND> drawn;
  for (const int id : {WinOptionsWindow::kGameLabel, WinOptionsWindow::kProcessorHint,
                       WinOptionsWindow::kDelayLabel, WinOptionsWindow::kSecondsLabel,
                       WinOptionsWindow::kOnlineBox}) {
    drawn.push_back(control(id));
  }
  for (int box = 0; box < 32; ++box) {
    drawn.push_back(::GetDlgItem(window_.hwnd(), WinOptionsWindow::kFirstProcessorBox + box));
  }
  for (const HWND item : drawn) {
    SCOPED_TRACE(TextOf(item));
    const RECT place = PlaceOf(item);
    const Ink ink = InkWhenWide(item);
    EXPECT_GE(ink.right, 0) << "nothing drawn";
    EXPECT_LT(ink.right, place.right - place.left);
    EXPECT_LT(ink.bottom, place.bottom - place.top);
  }

  const int edge = ::GetSystemMetrics(SM_CXEDGE);
  const std::vector<std::string> games{"SupremeCommander.exe", "ForgedAlliance.exe"};
  const std::vector<std::string> delays{"20", "30", "60"};
  window_.setGames(games);
  window_.setDelays(delays, 0);
  for (const auto& [id, entries] : {std::pair{WinOptionsWindow::kGameList, games},
                                    std::pair{WinOptionsWindow::kDelayList, delays}}) {
    const RECT place = PlaceOf(control(id));
    for (const std::string& entry : entries) {
      SCOPED_TRACE(entry);
      // The field holds the text between its borders and the arrow button.
      EXPECT_LE(TextWidth(control(id), entry) + ::GetSystemMetrics(SM_CXVSCROLL) + 3 * edge,
                place.right - place.left);
    }
  }
  for (const int id : {WinOptionsWindow::kProcessorFrame, WinOptionsWindow::kSaveButton}) {
    SCOPED_TRACE(TextOf(control(id)));
    const RECT place = PlaceOf(control(id));
    EXPECT_LE(TextWidth(control(id), TextOf(control(id))) + 8 * edge, place.right - place.left);
  }
}

TEST_F(OptionsWindowTest, OnlyTheUsersActionsRaiseEvents) {
  const std::vector<std::string> games{"SupremeCommander.exe", "ForgedAlliance.exe"};
  const std::vector<std::string> delays{"20", "30", "60"};
  window_.setGames(games);
  window_.selectGame(0);
  window_.selectGame(1);
  window_.setDelays(delays, 1);
  window_.setOnlineState(1);
  ASSERT_TRUE(window_.addProcessorBox(1, {240, 600, 855, 195, "CPU 0"}));
  window_.setProcessorBoxChecked(1, false);
  window_.show();
  window_.hide();
  EXPECT_TRUE(events_.events.empty());
  EXPECT_EQ(window_.selectedGame(), 1);
  EXPECT_EQ(window_.selectedDelay(), 1);
  EXPECT_EQ(TextOf(control(WinOptionsWindow::kGameList)), "ForgedAlliance.exe");

  // The user: a box, the other list, the game list, the button.
  userClicks(::GetDlgItem(window_.hwnd(), WinOptionsWindow::kFirstProcessorBox));
  EXPECT_TRUE(window_.processorBoxChecked(1));
  userPressesDownIn(WinOptionsWindow::kDelayList);
  EXPECT_EQ(window_.selectedDelay(), 2);
  EXPECT_TRUE(events_.events.empty());
  window_.selectGame(0);
  userPressesDownIn(WinOptionsWindow::kGameList);
  EXPECT_EQ(window_.selectedGame(), 1);
  userClicks(control(WinOptionsWindow::kSaveButton));
  EXPECT_EQ(events_.events, (std::vector<std::string>{"game picked", "save"}));
}

TEST_F(OptionsWindowTest, ClosingItRaisesUnloadWhileItsControlsStillExist) {
  bool checkedAtUnload = false;
  events_.whileUnloading = [&] { checkedAtUnload = window_.autoStartChecked(); };
  ASSERT_TRUE(window_.addProcessorBox(1, {240, 600, 855, 195, "CPU 0"}));
  window_.show();
  ::SendMessageA(window_.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);  // the close button
  EXPECT_EQ(events_.events, std::vector<std::string>{"unload"});
  EXPECT_TRUE(checkedAtUnload);
  EXPECT_FALSE(window_.exists());
  EXPECT_EQ(window_.processorBoxCount(), 0);
  EXPECT_FALSE(Window::isLoaded(&window_));

  // Loaded again: the design once more, without boxes, and unloaded by code.
  ASSERT_TRUE(window_.create());
  EXPECT_EQ(window_.processorBoxCount(), 0);
  EXPECT_TRUE(window_.autoStartChecked());
  window_.unload();  // as the Controller's shutdown does
  EXPECT_EQ(events_.events, (std::vector<std::string>{"unload", "unload"}));
  EXPECT_FALSE(window_.exists());
  window_.destroy();  // not loaded: nothing more
  EXPECT_EQ(events_.events.size(), 2U);
}

TEST_F(OptionsWindowTest, ProcessorBoxesAreCopiesOfTheTemplateInTabOrder) {
  const Figures* at = FiguresHere();
  if (at == nullptr) GTEST_SKIP() << "no figures worked out for " << ScreenDpi() << " dpi";
  ASSERT_TRUE(window_.addProcessorBox(1, {240, 600, 855, 195, "CPU 0"}));
  ASSERT_TRUE(window_.addProcessorBox(2, {240, 960, 855, 195, "CPU 1"}));
  ASSERT_EQ(window_.processorBoxCount(), 2);
  const HWND source = control(WinOptionsWindow::kProcessorTemplate);
  const HWND first = ::GetDlgItem(window_.hwnd(), WinOptionsWindow::kFirstProcessorBox);
  const HWND second = ::GetDlgItem(window_.hwnd(), WinOptionsWindow::kFirstProcessorBox + 1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(TextOf(second), "CPU 1");
  EXPECT_NE(StyleOf(second) & WS_VISIBLE, 0);
  EXPECT_EQ(StyleOf(second) & BS_TYPEMASK, StyleOf(source) & BS_TYPEMASK);
  EXPECT_TRUE(window_.processorBoxChecked(1) && window_.processorBoxChecked(2));
  EXPECT_EQ(::SendMessageA(second, WM_GETFONT, 0, 0), ::SendMessageA(source, WM_GETFONT, 0, 0));
  const RECT templatePlace = PlaceOf(source);
  const RECT place = PlaceOf(second);
  EXPECT_EQ(place.right - place.left, templatePlace.right - templatePlace.left);
  EXPECT_EQ(place.bottom - place.top, templatePlace.bottom - templatePlace.top);
  EXPECT_TRUE(SameRect(PlaceOf(first), {at->firstBox.x, at->firstBox.y, at->firstBox.x + at->box.cx,
                                        at->firstBox.y + at->box.cy}));
  // Tab goes from the game list through the boxes to the delay list.
  EXPECT_EQ(::GetWindow(source, GW_HWNDNEXT), first);
  EXPECT_EQ(::GetWindow(first, GW_HWNDNEXT), second);
  EXPECT_EQ(::GetNextDlgTabItem(window_.hwnd(), control(WinOptionsWindow::kGameList), FALSE),
            first);

  window_.setProcessorBoxChecked(2, false);
  EXPECT_FALSE(window_.processorBoxChecked(2));
  EXPECT_FALSE(window_.processorBoxChecked(3));  // none such
}

// The logic on the real window, the Controller on test doubles.
class OptionsDialogOnWindows : public ::testing::Test {
 protected:
  explicit OptionsDialogOnWindows(const char* processors = "2") {
    fake_.environment.variables["NUMBER_OF_PROCESSORS"] = processors;
    form_.start();
  }
  WinOptionsWindow& open() {
    form_.openOptions();
    for (Window* window : Window::loadedWindows()) {
      if (auto* options = dynamic_cast<WinOptionsWindow*>(window)) return *options;
    }
    ADD_FAILURE() << "no options window";
    throw std::runtime_error("no options window");
  }
  std::string config() const { return fake_.files.text(fake_.configPath()); }

  fakes::FakePlatform fake_;
  AppIcon icon_{Instance()};
  WinWindows windows_{Instance(), icon_, nullptr};
  Platform platform_{fake_.environment, fake_.files,     fake_.profile,   fake_.clock,
                     fake_.time,        fake_.time,      fake_.lastError, fake_.window,
                     fake_.window,      fake_.processes, fake_.processes, fake_.processes,
                     fake_.beeper,      windows_,        fake_.debug,     fake_.topology};
  Controller form_{platform_};
};

// The warning box, as the user sees it, dismissed by a timer inside its loop.
struct SeenWarning {
  std::string title, text;
  HWND owner = nullptr;
  bool warningIcon = false;
  int buttons = 0;
  bool seen = false;
};
SeenWarning g_warning;

BOOL CALLBACK ReadWarning(HWND window, LPARAM) {
  if (ClassOf(window) != "#32770" || g_warning.seen) return TRUE;
  g_warning.seen = true;
  g_warning.title = TextOf(window);
  g_warning.owner = ::GetWindow(window, GW_OWNER);
  const HICON exclamation = ::LoadIconA(nullptr, IDI_EXCLAMATION);
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if ((StyleOf(child) & WS_VISIBLE) == 0) continue;
    if (ClassOf(child) == "Button") ++g_warning.buttons;
    if (ClassOf(child) == "Static" && (StyleOf(child) & SS_TYPEMASK) == SS_ICON) {
      g_warning.warningIcon =
          ::SendMessageA(child, STM_GETICON, 0, 0) == reinterpret_cast<LRESULT>(exclamation);
    } else if (ClassOf(child) == "Static" && !TextOf(child).empty()) {
      g_warning.text = TextOf(child);
    }
  }
  ::PostMessageA(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}
void CALLBACK DismissWarning(HWND, UINT, UINT_PTR, DWORD) {
  ::EnumThreadWindows(::GetCurrentThreadId(), ReadWarning, 0);
}

TEST_F(OptionsDialogOnWindows, UntickingAndSavingReachesTheControllerAndTheFile) {
  WinOptionsWindow& window = open();
  EXPECT_TRUE(window.visible());
  ASSERT_EQ(window.processorBoxCount(), 2);
  EXPECT_EQ(TextOf(::GetDlgItem(window.hwnd(), WinOptionsWindow::kFirstProcessorBox)), "CPU 0");
  EXPECT_EQ(TextOf(window.control(WinOptionsWindow::kGameList)), "SupremeCommander.exe");
  EXPECT_EQ(TextOf(window.control(WinOptionsWindow::kDelayList)), "30");  // from the file
  EXPECT_EQ(window.onlineState(), 1);

  // The user unticks CPU 0, picks the other game (at once, before saving),
  // and saves.
  ::SendMessageA(::GetDlgItem(window.hwnd(), WinOptionsWindow::kFirstProcessorBox), BM_CLICK, 0, 0);
  ::SendMessageA(window.control(WinOptionsWindow::kGameList), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(form_.watchedImage(), "ForgedAlliance.exe");
  EXPECT_NE(config().find("Game=0"), std::string::npos);
  form_.setPolling(false);
  ::SendMessageA(window.control(WinOptionsWindow::kSaveButton), BM_CLICK, 0, 0);

  EXPECT_FALSE(window.visible());
  EXPECT_TRUE(window.exists());  // hidden, not unloaded
  ASSERT_EQ(form_.processorSelection().count(), 2U);
  EXPECT_EQ(form_.processorSelection().item(1), "False");
  EXPECT_EQ(form_.processorSelection().item(2), "True");
  EXPECT_TRUE(form_.pollTimer().enabled());
  EXPECT_NE(config().find("Game=1"), std::string::npos);

  // Opened again: the boxes as the user left them.
  WinOptionsWindow& again = open();
  EXPECT_EQ(&again, &window);
  EXPECT_FALSE(again.processorBoxChecked(1));
  EXPECT_EQ(fake_.log(), "");
}

TEST_F(OptionsDialogOnWindows, SavingWithNoBoxTickedWarnsInAModalBoxOwnedByTheDialog) {
  WinOptionsWindow& window = open();
  for (int box = 0; box < 2; ++box) {
    ::SendMessageA(::GetDlgItem(window.hwnd(), WinOptionsWindow::kFirstProcessorBox + box),
                   BM_CLICK, 0, 0);
  }
  g_warning = {};
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, DismissWarning);
  ::SendMessageA(window.control(WinOptionsWindow::kSaveButton), BM_CLICK, 0, 0);
  ::KillTimer(nullptr, timer);

  ASSERT_TRUE(g_warning.seen);
  EXPECT_EQ(g_warning.title, "Tavrolin");
  EXPECT_EQ(g_warning.text, "You should use atleast one processor!\r\n\r\nLast processor enabled.");
  EXPECT_EQ(g_warning.owner, window.hwnd());
  EXPECT_TRUE(g_warning.warningIcon);
  EXPECT_EQ(g_warning.buttons, 1);
  EXPECT_TRUE(window.processorBoxChecked(2));  // the last one, ticked again
  EXPECT_EQ(form_.processorSelection().item(2), "True");
  EXPECT_FALSE(window.visible());  // hidden only after the warning
}

class ManyProcessors : public OptionsDialogOnWindows {
 protected:
  ManyProcessors() : OptionsDialogOnWindows("40") {}
};

// A 32-bit build makes boxes for the first 32 processors only: they fill the
// eight columns, and the dialog keeps its height.
TEST_F(ManyProcessors, BoxesBeyondThirtyTwoStayInsideTheFrameAndTheDialogGrows) {
  const Figures* at = FiguresHere();
  if (at == nullptr) GTEST_SKIP() << "no figures worked out for " << ScreenDpi() << " dpi";
  const int boxes = kMaskBits < 40 ? static_cast<int>(kMaskBits) : 40;
  WinOptionsWindow& window = open();
  ASSERT_EQ(window.processorBoxCount(), boxes);
  const RECT frame = PlaceOf(window.control(WinOptionsWindow::kProcessorFrame));
  RECT client{};
  ::GetClientRect(window.hwnd(), &client);
  for (int box = 1; box <= boxes; ++box) {
    SCOPED_TRACE(box);
    EXPECT_TRUE(
        Inside(PlaceOf(::GetDlgItem(window.hwnd(), WinOptionsWindow::kFirstProcessorBox + box - 1)),
               frame));
  }
  // The controls below keep their distance to the frame's bottom, and all of
  // them are inside the client area.
  const RECT save = PlaceOf(window.control(WinOptionsWindow::kSaveButton));
  const RECT online = PlaceOf(window.control(WinOptionsWindow::kOnlineBox));
  EXPECT_GT(online.top, frame.bottom);
  EXPECT_LE(save.bottom, client.bottom);
  // Eight columns either way. A dialog wider than the screen (at 144 and 192
  // dpi on the tests' screen of 1024 pixels) is cut to the widest window the
  // system allows.
  RECT outer{};
  ::GetWindowRect(window.hwnd(), &outer);
  if (outer.right - outer.left < ::GetSystemMetrics(SM_CXMAXTRACK)) {
    EXPECT_EQ(client.right, at->optionsWithFiveRows.cx);
  } else {
    EXPECT_LT(client.right, at->optionsWithFiveRows.cx);
  }
  if (boxes > 32) {
    EXPECT_EQ(frame.bottom - frame.top, at->frameWithFiveRows);
    EXPECT_EQ(online.top, at->onlineWithFiveRows);
    EXPECT_EQ(client.bottom, at->optionsWithFiveRows.cy);
  } else {
    EXPECT_EQ(client.bottom, at->options.cy);
  }
}

// --- The info window --------------------------------------------------------

class InfoWindowTest : public ::testing::Test {
 protected:
  WindowClass ownerClass_{Instance(), "Tavrolin.TestOwner", {}};
  HWND owner_ = ::CreateWindowExA(0, ownerClass_.name(), "owner", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                  100, nullptr, nullptr, Instance(), nullptr);
  AppIcon icon_{Instance()};
  WinWindows windows_{Instance(), icon_, owner_};
  WinInfoWindow& info_ = windows_.infoWindow();

  ~InfoWindowTest() override { ::DestroyWindow(owner_); }
};

TEST_F(InfoWindowTest, AFixedOwnedWindowOutOfTheTaskbarWithTheTwoTexts) {
  const Figures* at = FiguresHere();
  if (at == nullptr) GTEST_SKIP() << "no figures worked out for " << ScreenDpi() << " dpi";
  EXPECT_FALSE(info_.loaded());  // not until it is first shown
  windows_.showInfoWindow();
  ASSERT_TRUE(info_.loaded());
  const HWND hwnd = info_.hwnd();
  EXPECT_EQ(TextOf(hwnd), "Tavrolin");
  EXPECT_NE(::IsWindowVisible(hwnd), 0);
  const LONG_PTR style = StyleOf(hwnd);
  EXPECT_NE(style & WS_SYSMENU, 0);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  const LONG_PTR exStyle = ::GetWindowLongPtrA(hwnd, GWL_EXSTYLE);
  EXPECT_NE(exStyle & WS_EX_DLGMODALFRAME, 0);
  EXPECT_EQ(exStyle & WS_EX_APPWINDOW, 0);
  EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), owner_);  // owned: no taskbar button

  EXPECT_EQ(TextOf(info_.control(WinInfoWindow::kAboutTextId)),
            "This tool will readjust thread CPU affinity on the fly across all available cores.  "
            "It will help Supreme Commander fully utilize Dual, Quad and even Octo cores.  Up to "
            "32 processor cores are supported and in the options menu you can choose which "
            "specific cores the application should be split across, if desired.");
  EXPECT_EQ(TextOf(info_.control(WinInfoWindow::kBeepTextId)),
            "A system beep will be heard when the threading adjustment takes place.  It takes "
            "about a second for it to take effect.  Task Manager will visually reflect the better "
            "distribution across all cores.  Now Dual, Quad and Octo cores can be further "
            "leveraged for smoother play and for far larger games.");
  const std::string notice = TextOf(info_.control(WinInfoWindow::kNoticeId));
  EXPECT_EQ(notice.size(), 20U);
  EXPECT_EQ(StyleOf(info_.control(WinInfoWindow::kNoticeId)) & SS_TYPEMASK, SS_CENTER);
  for (const int id : {WinInfoWindow::kAboutTextId, WinInfoWindow::kBeepTextId}) {
    EXPECT_EQ(StyleOf(info_.control(id)) & SS_TYPEMASK, SS_LEFT);  // wraps at words
  }

  RECT client{};
  ::GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, at->info.cx);
  EXPECT_EQ(client.bottom, at->info.cy);
  EXPECT_TRUE(SameRect(PlaceOf(info_.control(WinInfoWindow::kNoticeId)), at->notice));
  // The texts one above the other, inside the window.
  const RECT about = PlaceOf(info_.control(WinInfoWindow::kAboutTextId));
  const RECT beep = PlaceOf(info_.control(WinInfoWindow::kBeepTextId));
  EXPECT_TRUE(Inside(about, client) && Inside(beep, client));
  EXPECT_LE(about.bottom, beep.top);
  EXPECT_LE(beep.bottom, at->notice.top);
  RECT outer{};
  ::GetWindowRect(hwnd, &outer);
  EXPECT_NEAR((outer.left + outer.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((outer.top + outer.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
}

// The labels keep their size: the text is set in Tahoma, in the design's
// 8.25 pt unless the installed face needs a smaller size to fit.
TEST_F(InfoWindowTest, TheTextsFitTheirFixedLabels) {
  const Figures* at = FiguresHere();
  if (at == nullptr) GTEST_SKIP() << "no figures worked out for " << ScreenDpi() << " dpi";
  windows_.showInfoWindow();
  for (const int id :
       {WinInfoWindow::kAboutTextId, WinInfoWindow::kBeepTextId, WinInfoWindow::kNoticeId}) {
    SCOPED_TRACE(id);
    const HWND label = info_.control(id);
    const LOGFONTA font = FontOf(label);
    EXPECT_STREQ(font.lfFaceName, "Tahoma");
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    const std::string text = TextOf(label);
    RECT client{};
    ::GetClientRect(label, &client);
    const HDC dc = ::GetDC(label);
    const HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(label, WM_GETFONT, 0, 0)));
    RECT needed = client;
    ::DrawTextA(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(label, dc);
    EXPECT_LE(needed.bottom, client.bottom);
    EXPECT_LE(needed.right, client.right);
    EXPECT_LE(font.lfHeight, -at->note);
    EXPECT_GE(font.lfHeight, -at->font);
  }
}

TEST_F(InfoWindowTest, OneWindowAtMostAndClosingUnloadsIt) {
  windows_.showInfoWindow();
  const HWND first = info_.hwnd();
  windows_.showInfoWindow();
  EXPECT_EQ(info_.hwnd(), first);
  int infoWindows = 0;
  for (Window* window : Window::loadedWindows()) infoWindows += window == &info_ ? 1 : 0;
  EXPECT_EQ(infoWindows, 1);

  ::SendMessageA(first, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(info_.loaded());
  EXPECT_FALSE(::IsWindow(first));
  windows_.showInfoWindow();  // made anew
  EXPECT_TRUE(info_.loaded());
  EXPECT_NE(::IsWindowVisible(info_.hwnd()), 0);
}

}  // namespace
}  // namespace tavrolin::win32
