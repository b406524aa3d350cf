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
#include <cstring>
#include <string>
#include <vector>

#include "controller/controller.h"
#include "fake_platform.h"
#include "info_window_win.h"
#include "options_window_win.h"
#include "win_testing.h"
#include "windows_win.h"

namespace tavrolin::win32 {
namespace {

using testing::Instance;
using testing::RecordingEvents;
using testing::StyleOf;
using testing::TextOf;
using Options = WinOptionsWindow;

int ScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

// The bits of its style that say what kind of control it is.
LONG_PTR KindOf(HWND control) {
  const std::string name = ClassOf(control);
  return StyleOf(control) & (name == "ComboBox" ? 3 : name == "Static" ? SS_TYPEMASK : BS_TYPEMASK);
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

// A rectangle as a failed comparison shows it.
std::string Corners(const RECT& place) {
  return std::to_string(place.left) + "," + std::to_string(place.top) + " - " +
         std::to_string(place.right) + "," + std::to_string(place.bottom);
}

// The control's font is Tahoma of that weight, from `largest` down to
// `smallest` pixels high.
void ExpectTahoma(HWND control, int largest, int smallest, LONG weight = FW_NORMAL) {
  LOGFONTA font{};
  const auto handle = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
  ::GetObjectA(handle, sizeof font, &font);
  EXPECT_STREQ(font.lfFaceName, "Tahoma");
  EXPECT_EQ(font.lfWeight, weight);
  EXPECT_GE(font.lfHeight, -largest);
  EXPECT_LE(font.lfHeight, -smallest);
}

// The program's title, a fixed border with only a close button, the client
// area worked out, centred on the screen.
void ExpectFixedAndCentred(HWND window, SIZE size) {
  EXPECT_EQ(TextOf(window), "Tavrolin");
  const LONG_PTR style = StyleOf(window);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_NE(style & WS_SYSMENU, 0);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(Corners(client), Corners({0, 0, size.cx, size.cy}));
  RECT outer{};
  ::GetWindowRect(window, &outer);
  EXPECT_NEAR((outer.left + outer.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((outer.top + outer.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
}

// What the user does: a click on a button, the Down key in a closed list.
void UserClicks(HWND button) {
  ::SendMessageA(button, BM_CLICK, 0, 0);
}
void UserPressesDownIn(HWND list) {
  ::SendMessageA(list, WM_KEYDOWN, VK_DOWN, 0);
  ::SendMessageA(list, WM_KEYUP, VK_DOWN, 0);
}
// Processor box `index` (from 1).
HWND BoxOf(const Options& window, int index) {
  return ::GetDlgItem(window.hwnd(), Options::kFirstProcessorBox + index - 1);
}

class OptionsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(window_.create()); }
  HWND control(int id) const { return window_.control(id); }

  WindowClass class_{Instance(), Options::kClassName, {.background = nullptr}};
  RecordingEvents events_;
  Options window_{class_, events_, nullptr};
};

TEST_F(OptionsWindowTest, TheDesignStandsWhereWorkedOutForTheScreensResolution) {
  const Figures* at = FiguresHere();
  if (at == nullptr) GTEST_SKIP() << "no figures worked out for " << ScreenDpi() << " dpi";
  enum Font { kDesign, kBold, kFitting, kNote };  // 8.25 pt; bold; down to 6 pt; 6.75 pt
  const struct {
    int id;
    const char* windowClass;
    const char* text;
    bool visible;
    LONG_PTR kind;
    Font font;
  } table[] = {
      {Options::kGameLabel, "Static", "Choose Game:", true, SS_LEFT, kFitting},
      {Options::kGameList, "ComboBox", "", true, CBS_DROPDOWNLIST, kBold},
      {Options::kProcessorFrame, "Button", "Custom Processor Affinity", true, BS_GROUPBOX, kDesign},
      {Options::kProcessorHint, "Static", "(only selected processors will be used)", true, SS_LEFT,
       kNote},
      {Options::kProcessorTemplate, "Button", "array", false, BS_AUTOCHECKBOX, kDesign},
      {Options::kDelayLabel, "Static", "Auto initialize after game start in ", true, SS_LEFT,
       kFitting},
      {Options::kDelayList, "ComboBox", "", true, CBS_DROPDOWNLIST, kDesign},
      {Options::kSecondsLabel, "Static", "seconds.", true, SS_LEFT, kFitting},
      {Options::kOnlineBox, "Button", "Enabled for online play", true, BS_3STATE, kFitting},
      {Options::kAutoStartBox, "Button", "Auto initialize after game start - ", false,
       BS_AUTOCHECKBOX, kFitting},
      {Options::kSaveButton, "Button", "Close and Save", true, BS_PUSHBUTTON, kDesign},
  };
  RECT client{};
  ::GetClientRect(window_.hwnd(), &client);
  for (const auto& row : table) {
    SCOPED_TRACE(row.text);
    const HWND item = control(row.id);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(ClassOf(item), row.windowClass);
    EXPECT_EQ(TextOf(item), row.text);
    EXPECT_EQ((StyleOf(item) & WS_VISIBLE) != 0, row.visible);
    EXPECT_EQ(KindOf(item), row.kind);
    EXPECT_TRUE(Inside(PlaceOf(item), client));
    const int largest = row.font == kNote ? at->note : at->font;
    ExpectTahoma(item, largest, row.font == kFitting ? at->smallest : largest,
                 row.font == kBold ? FW_BOLD : FW_NORMAL);
  }
  EXPECT_EQ(Corners(PlaceOf(control(Options::kGameList))), Corners(at->gameList));
  EXPECT_EQ(Corners(PlaceOf(control(Options::kProcessorHint))), Corners(at->hint));
  EXPECT_EQ(Corners(PlaceOf(control(Options::kSaveButton))), Corners(at->saveButton));
  ASSERT_TRUE(window_.addProcessorBox(1, {240, 600, 855, 195, "CPU 0"}));
  EXPECT_EQ(Corners(PlaceOf(BoxOf(window_, 1))),
            Corners({at->firstBox.x, at->firstBox.y, at->firstBox.x + at->box.cx,
                     at->firstBox.y + at->box.cy}));

  EXPECT_FALSE(window_.visible());  // created hidden
  window_.show();
  ExpectFixedAndCentred(window_.hwnd(), at->options);
}

// The grey note, the frame's caption in the highlight colour, and the
// dialog's colour behind the labels and boxes.
TEST_F(OptionsWindowTest, TheNoteIsGreyOnTheDialogsColour) {
  const HDC dc = ::GetDC(window_.hwnd());
  const auto colours = [&](int id) {
    ::SendMessageA(window_.hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(control(id)));
    return ::GetTextColor(dc);
  };
  EXPECT_EQ(colours(Options::kProcessorHint), RGB(128, 128, 128));
  EXPECT_EQ(::GetBkColor(dc), RGB(208, 241, 255));
  EXPECT_EQ(colours(Options::kProcessorFrame), ::GetSysColor(COLOR_HIGHLIGHT));
  colours(Options::kOnlineBox);
  EXPECT_EQ(::GetBkColor(dc), RGB(208, 241, 255));
  colours(Options::kGameLabel);
  EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
  ::ReleaseDC(window_.hwnd(), dc);
}

TEST_F(OptionsWindowTest, ListsAllowNoTypingAndTheOnlineBoxHasThreeStates) {
  for (const int id : {Options::kGameList, Options::kDelayList}) {
    // A list that allows typing has an edit field.
    EXPECT_EQ(::FindWindowExA(control(id), nullptr, "Edit", nullptr), nullptr);
    // Typing only moves the selection; a letter that starts no entry does nothing.
    const std::vector<std::string> entries{"20", "30"};
    id == Options::kGameList ? window_.setGames(entries) : window_.setDelays(entries, 0);
    ::SendMessageA(control(id), CB_SETCURSEL, 0, 0);
    ::SendMessageA(control(id), WM_CHAR, 'x', 0);
    EXPECT_EQ(TextOf(control(id)), "20");
  }
  EXPECT_EQ(window_.onlineState(), 0);  // unchecked at design

  window_.setOnlineState(2);
  EXPECT_EQ(window_.onlineState(), 2);
  EXPECT_EQ(::SendMessageA(control(Options::kOnlineBox), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
  // Greyed, a click ticks it. (Ticking and unticking: the Wine end-to-end tests.)
  UserClicks(control(Options::kOnlineBox));
  EXPECT_EQ(window_.onlineState(), 1);
  EXPECT_TRUE(events_.events.empty());
}

// Visual styles would draw the frame's caption and the game list's field in
// their own colours. The tests run with the program's manifest, so with the
// themed controls the program gets; the save button shows that a theme is
// there to be switched off.
TEST_F(OptionsWindowTest, TheFrameAndTheGameListAreDrawnWithoutVisualStyles) {
  if (::IsThemeActive() == 0) GTEST_SKIP() << "no visual style is active";
  EXPECT_NE(::GetWindowTheme(control(Options::kSaveButton)), nullptr);
  EXPECT_EQ(::GetWindowTheme(control(Options::kProcessorFrame)), nullptr);
  EXPECT_EQ(::GetWindowTheme(control(Options::kGameList)), nullptr);
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

// What `use` finds with the control's font in the control's device context.
template <typename Use>
auto WithFontOf(HWND control, Use use) {
  const HDC dc = ::GetDC(control);
  const HGDIOBJ old =
      ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)));
  const auto found = use(dc);
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  return found;
}

int TextWidth(HWND control, const std::string& text) {
  return WithFontOf(control, [&](HDC dc) {
    SIZE extent{};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    return extent.cx;
  });
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
    const std::string face = WithFontOf(control(Options::kSaveButton), [](HDC dc) {
      char name[LF_FACESIZE] = {};
      ::GetTextFaceA(dc, sizeof name, name);
      return std::string(name);
    });
    EXPECT_EQ(face == "Tahoma", std::string(tahoma) == "1") << "drawn in " << face;
  }
  std::vector<HWND> drawn{control(Options::kGameLabel), control(Options::kProcessorHint),
                          control(Options::kDelayLabel), control(Options::kSecondsLabel),
                          control(Options::kOnlineBox)};
  for (int box = 1; box <= 32; ++box) {
    ASSERT_TRUE(
        window_.addProcessorBox(box, {240, 600, 855, 195, "CPU " + std::to_string(box - 1)}));
    drawn.push_back(BoxOf(window_, box));
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
  for (const auto& [id, entries] :
       {std::pair{Options::kGameList, games}, std::pair{Options::kDelayList, delays}}) {
    const RECT place = PlaceOf(control(id));
    for (const std::string& entry : entries) {
      SCOPED_TRACE(entry);
      // The field holds the text between its borders and the arrow button.
      EXPECT_LE(TextWidth(control(id), entry) + ::GetSystemMetrics(SM_CXVSCROLL) + 3 * edge,
                place.right - place.left);
    }
  }
  for (const int id : {Options::kProcessorFrame, Options::kSaveButton}) {
    SCOPED_TRACE(TextOf(control(id)));
    const RECT place = PlaceOf(control(id));
    EXPECT_LE(TextWidth(control(id), TextOf(control(id))) + 8 * edge, place.right - place.left);
  }
}

TEST_F(OptionsWindowTest, OnlyTheUsersActionsRaiseEvents) {
  window_.setGames(std::vector<std::string>{"SupremeCommander.exe", "ForgedAlliance.exe"});
  window_.selectGame(0);
  window_.selectGame(1);
  window_.setDelays(std::vector<std::string>{"20", "30", "60"}, 1);
  window_.setOnlineState(1);
  ASSERT_TRUE(window_.addProcessorBox(1, {240, 600, 855, 195, "CPU 0"}));
  window_.setProcessorBoxChecked(1, false);
  window_.show();
  window_.hide();
  EXPECT_TRUE(window_.exists());  // hidden, not unloaded
  EXPECT_TRUE(events_.events.empty());
  EXPECT_EQ(window_.selectedGame(), 1);
  EXPECT_EQ(window_.selectedDelay(), 1);
  EXPECT_EQ(TextOf(control(Options::kGameList)), "ForgedAlliance.exe");

  // The user: a box, the other list, the game list, the button.
  UserClicks(BoxOf(window_, 1));
  EXPECT_TRUE(window_.processorBoxChecked(1));
  UserPressesDownIn(control(Options::kDelayList));
  EXPECT_EQ(window_.selectedDelay(), 2);
  EXPECT_TRUE(events_.events.empty());
  window_.selectGame(0);
  UserPressesDownIn(control(Options::kGameList));
  EXPECT_EQ(window_.selectedGame(), 1);
  UserClicks(control(Options::kSaveButton));
  EXPECT_EQ(events_.events, (std::vector<std::string>{"game picked", "save"}));
}

// The hidden auto-start box is checked and stays so: unloading keeps the poll
// on. (The Controller's shutdown unloads it too: the tests of its window.)
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
  window_.destroy();  // not loaded: nothing more
  EXPECT_EQ(events_.events.size(), 1U);

  // Loaded again: the design once more, without boxes.
  ASSERT_TRUE(window_.create());
  EXPECT_EQ(window_.processorBoxCount(), 0);
  EXPECT_TRUE(window_.autoStartChecked());
}

TEST_F(OptionsWindowTest, ProcessorBoxesAreCopiesOfTheTemplateInTabOrder) {
  ASSERT_TRUE(window_.addProcessorBox(1, {240, 600, 855, 195, "CPU 0"}));
  ASSERT_TRUE(window_.addProcessorBox(2, {240, 960, 855, 195, "CPU 1"}));
  ASSERT_EQ(window_.processorBoxCount(), 2);
  const HWND source = control(Options::kProcessorTemplate);
  const HWND first = BoxOf(window_, 1);
  const HWND second = BoxOf(window_, 2);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(TextOf(second), "CPU 1");
  EXPECT_NE(StyleOf(second) & WS_VISIBLE, 0);
  EXPECT_EQ(KindOf(second), KindOf(source));
  EXPECT_TRUE(window_.processorBoxChecked(1) && window_.processorBoxChecked(2));
  EXPECT_EQ(::SendMessageA(second, WM_GETFONT, 0, 0), ::SendMessageA(source, WM_GETFONT, 0, 0));
  const RECT templatePlace = PlaceOf(source);
  const RECT place = PlaceOf(second);
  EXPECT_EQ(place.right - place.left, templatePlace.right - templatePlace.left);
  EXPECT_EQ(place.bottom - place.top, templatePlace.bottom - templatePlace.top);
  // Tab goes from the game list through the boxes to the delay list.
  EXPECT_EQ(::GetWindow(source, GW_HWNDNEXT), first);
  EXPECT_EQ(::GetWindow(first, GW_HWNDNEXT), second);
  EXPECT_EQ(::GetNextDlgTabItem(window_.hwnd(), control(Options::kGameList), FALSE), first);

  window_.setProcessorBoxChecked(2, false);
  EXPECT_FALSE(window_.processorBoxChecked(2));
  EXPECT_FALSE(window_.processorBoxChecked(3));  // none such
}

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

// Saving with no box ticked shows it; its texts are the logic's.
TEST_F(OptionsWindowTest, AWarningIsAModalBoxOwnedByTheDialog) {
  window_.show();
  g_warning = {};
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, DismissWarning);
  const std::string text = "You should use atleast one processor!\r\n\r\nLast processor enabled.";
  window_.showWarning(text, "Tavrolin");
  ::KillTimer(nullptr, timer);
  ASSERT_TRUE(g_warning.seen);
  EXPECT_EQ(g_warning.title, "Tavrolin");
  EXPECT_EQ(g_warning.text, text);
  EXPECT_EQ(g_warning.owner, window_.hwnd());
  EXPECT_TRUE(g_warning.warningIcon);
  EXPECT_EQ(g_warning.buttons, 1);
}

// The logic on the real window, the Controller on test doubles, with more
// processors than boxes fit in four rows.
class ManyProcessors : public ::testing::Test {
 protected:
  ManyProcessors() {
    fake_.environment.variables["NUMBER_OF_PROCESSORS"] = "40";
    form_.start();
  }

  fakes::FakePlatform fake_;
  AppIcon icon_{Instance()};
  WinWindows windows_{Instance(), icon_, nullptr};
  Platform platform_{fake_.environment, fake_.files,     fake_.profile,   fake_.clock,
                     fake_.time,        fake_.time,      fake_.lastError, fake_.window,
                     fake_.window,      fake_.processes, fake_.processes, fake_.processes,
                     fake_.beeper,      windows_,        fake_.debug,     fake_.topology};
  Controller form_{platform_};
};

// A 32-bit build makes boxes for the first 32 processors only: they fill the
// eight columns, and the dialog keeps its height.
TEST_F(ManyProcessors, BoxesBeyondThirtyTwoStayInsideTheFrameAndTheDialogGrows) {
  const Figures* at = FiguresHere();
  if (at == nullptr) GTEST_SKIP() << "no figures worked out for " << ScreenDpi() << " dpi";
  const int boxes = kMaskBits < 40 ? static_cast<int>(kMaskBits) : 40;
  form_.openOptions();
  ASSERT_EQ(Window::loadedWindows().size(), 1U);
  auto& window = dynamic_cast<Options&>(*Window::loadedWindows().front());
  ASSERT_EQ(window.processorBoxCount(), boxes);
  const RECT frame = PlaceOf(window.control(Options::kProcessorFrame));
  RECT client{};
  ::GetClientRect(window.hwnd(), &client);
  for (int box = 1; box <= boxes; ++box) {
    SCOPED_TRACE(box);
    EXPECT_TRUE(Inside(PlaceOf(BoxOf(window, box)), frame));
  }
  // The controls below keep their distance to the frame's bottom, and all of
  // them are inside the client area.
  const RECT save = PlaceOf(window.control(Options::kSaveButton));
  const RECT online = PlaceOf(window.control(Options::kOnlineBox));
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

// The labels keep their size: the texts are set in Tahoma, in the design's
// 8.25 pt unless the installed face needs a smaller size to fit.
TEST_F(InfoWindowTest, OneFixedOwnedWindowOutOfTheTaskbarWithTheTextsInTheirLabels) {
  const Figures* at = FiguresHere();
  if (at == nullptr) GTEST_SKIP() << "no figures worked out for " << ScreenDpi() << " dpi";
  EXPECT_FALSE(info_.loaded());  // not until it is first shown
  windows_.showInfoWindow();
  ASSERT_TRUE(info_.loaded());
  const HWND hwnd = info_.hwnd();
  EXPECT_NE(::IsWindowVisible(hwnd), 0);
  ExpectFixedAndCentred(hwnd, at->info);
  EXPECT_NE(StyleOf(hwnd, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, 0);

  const struct {
    int id;
    const char* text;  // null: the name and the version, 20 characters
    LONG_PTR kind;     // the texts wrap at words; the notice is centred
  } labels[] = {
      {WinInfoWindow::kAboutTextId,
       "This tool will readjust thread CPU affinity on the fly across all available cores.  It "
       "will help Supreme Commander fully utilize Dual, Quad and even Octo cores.  Up to 32 "
       "processor cores are supported and in the options menu you can choose which specific cores "
       "the application should be split across, if desired.",
       SS_LEFT},
      {WinInfoWindow::kBeepTextId,
       "A system beep will be heard when the threading adjustment takes place.  It takes about a "
       "second for it to take effect.  Task Manager will visually reflect the better distribution "
       "across all cores.  Now Dual, Quad and Octo cores can be further leveraged for smoother "
       "play and for far larger games.",
       SS_LEFT},
      {WinInfoWindow::kNoticeId, nullptr, SS_CENTER},
  };
  for (const auto& row : labels) {
    SCOPED_TRACE(row.id);
    const HWND label = info_.control(row.id);
    const std::string text = TextOf(label);
    EXPECT_EQ(text.size(), row.text ? std::strlen(row.text) : 20U);
    if (row.text) {
      EXPECT_EQ(text, row.text);
    }
    EXPECT_EQ(KindOf(label), row.kind);
    ExpectTahoma(label, at->font, at->note);
    RECT client{};
    ::GetClientRect(label, &client);
    const RECT needed = WithFontOf(label, [&](HDC dc) {
      RECT place = client;
      ::DrawTextA(dc, text.c_str(), -1, &place, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
      return place;
    });
    EXPECT_LE(needed.bottom, client.bottom);
    EXPECT_LE(needed.right, client.right);
  }

  RECT client{};
  ::GetClientRect(hwnd, &client);
  EXPECT_EQ(Corners(PlaceOf(info_.control(WinInfoWindow::kNoticeId))), Corners(at->notice));
  // The texts one above the other, inside the window.
  const RECT about = PlaceOf(info_.control(WinInfoWindow::kAboutTextId));
  const RECT beep = PlaceOf(info_.control(WinInfoWindow::kBeepTextId));
  EXPECT_TRUE(Inside(about, client) && Inside(beep, client));
  EXPECT_LE(about.bottom, beep.top);
  EXPECT_LE(beep.bottom, at->notice.top);

  // Showing it again brings the same window; its close button unloads it,
  // and the next showing makes it anew.
  windows_.showInfoWindow();
  EXPECT_EQ(info_.hwnd(), hwnd);
  ::SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(info_.loaded());
  EXPECT_FALSE(::IsWindow(hwnd));
  windows_.showInfoWindow();
  EXPECT_TRUE(info_.loaded());
  EXPECT_NE(::IsWindowVisible(info_.hwnd()), 0);
}

}  // namespace
}  // namespace tavrolin::win32
