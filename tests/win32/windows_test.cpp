// Our windows against the real window manager: the window base class and its
// list of loaded windows, window timers, the event pump, the tray record and
// the Controller's window with its popup menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "controller_window.h"
#include "fake_platform.h"
#include "tray_win.h"
#include "win_testing.h"
#include "window_timers.h"
#include "windows_win.h"

namespace tavrolin::win32 {
namespace {

using testing::Eventually;
using testing::Instance;
using testing::StyleOf;
using testing::TextOf;

// The captions of the test windows unloaded, in their order.
std::vector<std::string> g_unloaded;

// A plain window that records its messages and hands WM_TIMER to its timers.
class TestWindow final : public Window {
 public:
  explicit TestWindow(const WindowClass& windowClass, const char* caption = "test") {
    create(windowClass, caption, {});
  }
  WindowTimers timers{*this};
  std::vector<UINT> messages;
  WPARAM lastTimerId = 0;

  void unload() override {
    g_unloaded.push_back(TextOf(hwnd()));
    Window::unload();
  }

 private:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    messages.push_back(message);
    if (message == WM_TIMER) {
      lastTimerId = wParam;
      timers.dispatch(wParam);
      return 0;
    }
    return defaultProcedure(message, wParam, lParam);
  }
};

// Runs the thread's messages until a timer of the window, as fast as the
// timers under test, has ticked `ticks` times: time enough, however loaded the
// machine, for any of them that runs to have ticked.
void PumpWhileATwinTicks(TestWindow& window, int ticks) {
  int twinTicks = 0;
  const auto twin = window.timers.createTimer([&] { ++twinTicks; });
  twin->setInterval(20);
  twin->setEnabled(true);
  ASSERT_TRUE(Eventually([&] { return twinTicks >= ticks; }));
}

class WindowsTest : public ::testing::Test {
 protected:
  WindowClass windowClass_{Instance(), "Tavrolin.Test", {}};
};

TEST_F(WindowsTest, AWindowFindsItsObjectFromItsFirstMessageToItsLast) {
  auto window = std::make_unique<TestWindow>(windowClass_);
  ASSERT_TRUE(window->loaded());
  EXPECT_EQ(window->messages.front(), static_cast<UINT>(WM_NCCREATE));
  EXPECT_EQ(::GetWindowLongPtrA(window->hwnd(), GWLP_USERDATA),
            reinterpret_cast<LONG_PTR>(window.get()));
  EXPECT_TRUE(Window::isLoaded(window.get()));

  const HWND hwnd = window->hwnd();
  window->unload();
  EXPECT_FALSE(window->loaded());
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_EQ(window->messages.back(), static_cast<UINT>(WM_NCDESTROY));
  EXPECT_FALSE(Window::isLoaded(window.get()));

  // An object destroyed while loaded destroys its window quietly.
  window = std::make_unique<TestWindow>(windowClass_);
  const HWND other = window->hwnd();
  ASSERT_TRUE(::IsWindow(other));
  window.reset();
  EXPECT_FALSE(::IsWindow(other));
  EXPECT_TRUE(Window::loadedWindows().empty());
}

TEST_F(WindowsTest, TheMainWindowUnloadsTheOthersInLoadOrderAndSeesItsOwnState) {
  TestWindow main(windowClass_, "main");
  TestWindow first(windowClass_, "first");
  TestWindow second(windowClass_, "second");
  TestWindow third(windowClass_, "third");
  second.unload();  // no longer loaded: not unloaded again
  g_unloaded.clear();

  WinMainWindow mainWindow(main);
  mainWindow.unloadOtherWindows();
  EXPECT_EQ(g_unloaded, (std::vector<std::string>{"first", "third"}));
  EXPECT_TRUE(main.loaded());
  EXPECT_EQ(Window::loadedWindows(), std::vector<Window*>{&main});

  // Minimized and hidden as the main window sees them.
  ::ShowWindow(main.hwnd(), SW_SHOWMINNOACTIVE);
  EXPECT_TRUE(mainWindow.isMinimized());
  mainWindow.hide();
  EXPECT_FALSE(::IsWindowVisible(main.hwnd()));
  ::ShowWindow(main.hwnd(), SW_RESTORE);
  EXPECT_FALSE(mainWindow.isMinimized());
}

TEST_F(WindowsTest, TimersTickOnlyWhileEnabledWithAnInterval) {
  TestWindow window(windowClass_);
  // A timer gone takes its window timer with it: none is left to kill.
  int ticks = 0;
  auto gone = window.timers.createTimer([&] { ++ticks; });
  gone->setInterval(20);
  gone->setEnabled(true);
  ASSERT_TRUE(Eventually([&] { return ticks > 0; }));
  gone.reset();
  EXPECT_EQ(::KillTimer(window.hwnd(), window.lastTimerId), FALSE);
  ticks = 0;

  const auto timer = window.timers.createTimer([&] { ++ticks; });
  EXPECT_FALSE(timer->enabled());
  EXPECT_EQ(timer->interval(), 0U);

  timer->setEnabled(true);  // interval 0: never ticks
  PumpWhileATwinTicks(window, 5);
  EXPECT_EQ(ticks, 0);

  timer->setInterval(20);
  ASSERT_TRUE(Eventually([&] { return ticks >= 2; }));

  timer->setEnabled(false);
  const int stoppedAt = ticks;
  PumpWhileATwinTicks(window, 5);
  EXPECT_EQ(ticks, stoppedAt);
}

TEST_F(WindowsTest, ATickIsNotEnteredAgainFromThePumpInsideIt) {
  TestWindow window(windowClass_);
  int depth = 0;
  int deepest = 0;
  int ticks = 0;
  bool dueAgainInside = false;
  const auto timer = window.timers.createTimer([&] {
    ++ticks;
    ++depth;
    deepest = std::max(deepest, depth);
    // Inside the tick, let waiting events run until the timer's message has
    // come again (the window's only timer).
    const auto timerMessages = [&] {
      return std::count(window.messages.begin(), window.messages.end(), WM_TIMER);
    };
    const auto before = timerMessages();
    if (depth == 1 &&
        Eventually([&] { return timerMessages() > before; }, std::chrono::seconds(5))) {
      dueAgainInside = true;
    }
    --depth;
  });
  timer->setInterval(10);
  timer->setEnabled(true);
  ASSERT_TRUE(Eventually([&] { return ticks >= 2; }));
  EXPECT_TRUE(dueAgainInside);
  EXPECT_EQ(deepest, 1);
}

TEST_F(WindowsTest, ThePumpRunsPostedMessagesAndLeavesQuitForTheLoop) {
  TestWindow window(windowClass_);
  ::PostMessageA(window.hwnd(), WM_USER + 7, 0, 0);
  ::PostQuitMessage(3);
  MessagePump pump;
  pump.handleWaitingEvents();
  EXPECT_NE(std::find(window.messages.begin(), window.messages.end(), WM_USER + 7),
            window.messages.end());
  MSG quit{};
  ASSERT_NE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE), 0);
  EXPECT_EQ(quit.wParam, 3U);
}

// Records what the shell would be told.
struct ShellCall {
  DWORD message;
  std::vector<unsigned char> bytes;  // as many as cbSize says
};
std::vector<ShellCall> g_shellCalls;

BOOL WINAPI RecordShellCall(DWORD message, PNOTIFYICONDATAA data) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  g_shellCalls.push_back({message, {bytes, bytes + data->cbSize}});
  return TRUE;
}

// The Controller's window with a Controller on test doubles, except for the
// window's own timers and the main-window service.
class ControllerWindowTest : public ::testing::Test {
 protected:
  ControllerWindowTest() {
    // As when a window cannot be made.
    const auto fail = [] { throw Failure(FailureNumber::kInvalidPropertyValue); };
    window_.attach(controller_, {.showOptions = fail, .showInfo = fail});
  }

  AppIcon icon_{Instance()};
  ControllerWindow window_{Instance(), icon_, RecordShellCall};
  fakes::FakePlatform fake_;
  Platform platform_{fake_.environment, fake_.files,     fake_.profile,   fake_.clock,
                     window_.timers(),  fake_.time,      fake_.lastError, window_.mainWindow(),
                     fake_.window,      fake_.processes, fake_.processes, fake_.processes,
                     fake_.beeper,      fake_.windows,   fake_.debug,     fake_.topology};
  Controller controller_{platform_};
};

// Created minimized, hidden and out of the taskbar; minimizing hides it, and
// closing it runs the shutdown.
TEST_F(ControllerWindowTest, IsAHiddenWindowThatMinimizingHidesAndClosingEnds) {
  const HWND hwnd = window_.hwnd();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(TextOf(hwnd), "Form1");
  EXPECT_TRUE(::IsIconic(hwnd));
  EXPECT_FALSE(::IsWindowVisible(hwnd));
  const LONG_PTR style = StyleOf(hwnd);
  const LONG_PTR exStyle = StyleOf(hwnd, GWL_EXSTYLE);
  EXPECT_NE(style & WS_CAPTION, 0);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
  EXPECT_NE(exStyle & WS_EX_TOOLWINDOW, 0);
  EXPECT_EQ(exStyle & WS_EX_APPWINDOW, 0);

  ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
  ::ShowWindow(hwnd, SW_RESTORE);
  ASSERT_TRUE(::IsWindowVisible(hwnd));
  ::ShowWindow(hwnd, SW_MINIMIZE);  // WM_SIZE, minimized: the resize handler
  EXPECT_FALSE(::IsWindowVisible(hwnd));

  ::SendMessageA(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(fake_.environment.endedWith, 0);
  EXPECT_EQ(fake_.window.trayRemoves, 1);
  EXPECT_TRUE(::IsWindow(hwnd));  // the process ends; the window is not destroyed first
}

TEST_F(ControllerWindowTest, ThePopupMenuHasTheCaptionsAndExitAsDefault) {
  const HMENU menu = window_.popupMenu();
  const char* const captions[] = {"Close Menu", nullptr, "   Options",
                                  "      Info", nullptr, "    Exit"};  // null: a separator
  ASSERT_EQ(::GetMenuItemCount(menu), 6);
  for (UINT position = 0; position < 6; ++position) {
    char text[64] = {};
    ::GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE;
    ASSERT_NE(::GetMenuItemInfoA(menu, position, TRUE, &item), 0);
    EXPECT_EQ((item.fType & MFT_SEPARATOR) != 0, captions[position] == nullptr) << position;
    EXPECT_STREQ(text, captions[position] ? captions[position] : "") << position;
  }
  EXPECT_EQ(::GetMenuDefaultItem(menu, TRUE, 0), 5U);
}

// What the commands show, the Wine end-to-end tests see. A command that fails
// is reported under the name users' logs know it by; Exit runs the shutdown
// once.
TEST_F(ControllerWindowTest, MenuCommandsThatFailAreReportedAndExitEndsOnce) {
  const HWND hwnd = window_.hwnd();
  ::SendMessageA(hwnd, WM_COMMAND, static_cast<WPARAM>(ui::TrayCommand::kClose), 0);
  EXPECT_EQ(fake_.log(), "");
  ::SendMessageA(hwnd, WM_COMMAND, static_cast<WPARAM>(ui::TrayCommand::kOptions), 0);
  ::SendMessageA(hwnd, WM_COMMAND, static_cast<WPARAM>(ui::TrayCommand::kInfo), 0);
  for (const char* name : {"mnuOptions_Click", "mnuInfo_Click"}) {
    EXPECT_NE(fake_.log().find("Error occurred in " + std::string(name) +
                               "\r\n380  Invalid property value\r\n"),
              std::string::npos)
        << name;
  }

  fake_.window.iconShown = true;
  ::SendMessageA(hwnd, WM_COMMAND, static_cast<WPARAM>(ui::TrayCommand::kExit), 0);
  EXPECT_EQ(fake_.environment.endedWith, 0);
  EXPECT_EQ(fake_.window.trayRemoves, 1);
  // Closing the window afterwards does not run the shutdown twice.
  ::SendMessageA(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(fake_.window.trayRemoves, 1);
}

// Opening the popup menu is seen by a hook on this thread's window messages;
// the menu is closed again as soon as it is open.
int g_menusOpened = 0;
LRESULT CALLBACK WatchMenus(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && message->message == WM_ENTERMENULOOP) {
    ++g_menusOpened;
    ::PostMessageA(message->hwnd, WM_CANCELMODE, 0, 0);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(ControllerWindowTest, OnlyAReleasedButtonOnTheIconOpensTheMenu) {
  const HHOOK hook =
      ::SetWindowsHookExA(WH_CALLWNDPROC, WatchMenus, nullptr, ::GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  g_menusOpened = 0;
  const HWND hwnd = window_.hwnd();
  // The shell's notification: the mouse message in the low word of lParam.
  for (const LPARAM mouse : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK,
                             WM_RBUTTONDBLCLK, WM_MBUTTONUP}) {
    ::SendMessageA(hwnd, ui::kTrayCallbackMessage, ui::kTrayIconId, mouse);
  }
  EXPECT_EQ(g_menusOpened, 0);
  ::SendMessageA(hwnd, ui::kTrayCallbackMessage, ui::kTrayIconId, WM_LBUTTONUP);
  EXPECT_EQ(g_menusOpened, 1);
  ::SendMessageA(hwnd, ui::kTrayCallbackMessage, ui::kTrayIconId, WM_RBUTTONUP);
  EXPECT_EQ(g_menusOpened, 2);
  ::UnhookWindowsHookEx(hook);
  MessagePump().handleWaitingEvents();                    // a command the menu left
  EXPECT_FALSE(fake_.environment.endedWith.has_value());  // closing the menu chose nothing
}

// The record is the first form, filled once; the taskbar coming back brings
// the icon back while it is shown, never before it is added or after it is
// removed.
TEST_F(ControllerWindowTest, TheTrayRecordIsTheFirstFormAndComesBackWithTheTaskbar) {
  g_shellCalls.clear();
  const UINT taskbarCreated = window_.taskbarCreatedMessage();
  ASSERT_NE(taskbarCreated, 0U);
  ::SendMessageA(window_.hwnd(), taskbarCreated, 0, 0);
  EXPECT_TRUE(g_shellCalls.empty());
  window_.tray().add();
  ASSERT_EQ(g_shellCalls.size(), 1U);
  EXPECT_EQ(g_shellCalls[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(g_shellCalls[0].bytes.size(), sizeof(void*) == 8 ? 104U : 88U);
  const TrayIconData& record = window_.tray().record();
  EXPECT_EQ(record.size, NOTIFYICONDATAA_V1_SIZE);
  EXPECT_EQ(record.window, window_.hwnd());
  EXPECT_EQ(record.id, 1U);
  EXPECT_EQ(record.flags, 7U);
  EXPECT_EQ(record.callbackMessage, 512U);
  EXPECT_EQ(record.icon, icon_.smallIcon());
  EXPECT_EQ(std::string(record.tip, 11), std::string(" Tavrolin \0", 11));
  EXPECT_EQ(std::string(record.tip + 11, 53), std::string(53, ' '));
  EXPECT_EQ(std::memcmp(g_shellCalls[0].bytes.data(), &record, sizeof record), 0);

  ::SendMessageA(window_.hwnd(), taskbarCreated, 0, 0);
  window_.tray().remove();
  ::SendMessageA(window_.hwnd(), taskbarCreated, 0, 0);
  ASSERT_EQ(g_shellCalls.size(), 3U);
  EXPECT_EQ(g_shellCalls[1].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(g_shellCalls[2].message, static_cast<DWORD>(NIM_DELETE));
  for (const ShellCall& call : g_shellCalls) EXPECT_EQ(call.bytes, g_shellCalls[0].bytes);
}

TEST_F(ControllerWindowTest, TheOptionsDialogAndTheInfoWindowAreUnloadedAtExit) {
  testing::RecordingEvents events;
  WinWindows windows(Instance(), icon_, window_.hwnd());
  const auto options = windows.createOptionsWindow(events);
  ASSERT_TRUE(options->create());
  options->show();
  windows.showInfoWindow();
  windows.showInfoWindow();  // the same window again
  ASSERT_TRUE(options->exists() && windows.infoWindow().loaded());
  EXPECT_EQ(Window::loadedWindows().size(), 3U);

  ::SendMessageA(window_.hwnd(), WM_COMMAND, static_cast<WPARAM>(ui::TrayCommand::kExit), 0);
  EXPECT_FALSE(options->exists());
  EXPECT_EQ(events.events, std::vector<std::string>{"unload"});  // its own handling ran
  EXPECT_FALSE(windows.infoWindow().loaded());
  EXPECT_EQ(fake_.environment.endedWith, 0);
}

}  // namespace
}  // namespace tavrolin::win32
