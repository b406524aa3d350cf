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
#include "window_timers.h"
#include "windows_win.h"

namespace tavrolin::win32 {
namespace {

HINSTANCE Instance() {
  return ::GetModuleHandleA(nullptr);
}

template <typename Condition>
bool PumpUntil(Condition condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  MessagePump pump;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    pump.handleWaitingEvents();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// A plain window that records its messages and hands WM_TIMER to its timers.

class TestWindow final : public Window {
 public:
  explicit TestWindow(const WindowClass& windowClass, const char* caption = "test") {
    create(windowClass, caption, {});
  }
  WindowTimers timers{*this};
  std::vector<UINT> messages;
  int unloads = 0;
  std::vector<std::string>* unloadOrder = nullptr;
  std::string name;

  void unload() override {
    ++unloads;
    if (unloadOrder != nullptr) unloadOrder->push_back(name);
    Window::unload();
  }

 private:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    messages.push_back(message);
    if (message == WM_TIMER) {
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
  ASSERT_TRUE(PumpUntil([&] { return twinTicks >= ticks; }, std::chrono::seconds(10)));
}

class WindowsTest : public ::testing::Test {
 protected:
  WindowClass windowClass_{Instance(), "Tavrolin.Test", {}};
};

TEST_F(WindowsTest, AWindowFindsItsObjectFromItsFirstMessageToItsLast) {
  ASSERT_TRUE(windowClass_.registered());
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
}

TEST_F(WindowsTest, DestroyingTheObjectDestroysItsWindowQuietly) {
  HWND hwnd = nullptr;
  {
    TestWindow window(windowClass_);
    hwnd = window.hwnd();
    ASSERT_TRUE(::IsWindow(hwnd));
  }
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_TRUE(Window::loadedWindows().empty());
}

TEST_F(WindowsTest, TheMainWindowUnloadsTheOthersInLoadOrder) {
  std::vector<std::string> order;
  TestWindow main(windowClass_, "main");
  TestWindow first(windowClass_, "first");
  TestWindow second(windowClass_, "second");
  TestWindow third(windowClass_, "third");
  first.name = "first";
  second.name = "second";
  third.name = "third";
  for (TestWindow* window : {&main, &first, &second, &third}) window->unloadOrder = &order;
  second.unload();  // no longer loaded: not unloaded again
  order.clear();

  WinMainWindow mainWindow(main);
  mainWindow.unloadOtherWindows();
  EXPECT_EQ(order, (std::vector<std::string>{"first", "third"}));
  EXPECT_TRUE(main.loaded());
  EXPECT_EQ(main.unloads, 0);
  EXPECT_EQ(Window::loadedWindows(), std::vector<Window*>{&main});
}

TEST_F(WindowsTest, MinimizedAndHiddenAsTheMainWindowSees) {
  TestWindow window(windowClass_);
  WinMainWindow mainWindow(window);
  ::ShowWindow(window.hwnd(), SW_SHOWMINNOACTIVE);
  EXPECT_TRUE(mainWindow.isMinimized());
  mainWindow.hide();
  EXPECT_FALSE(::IsWindowVisible(window.hwnd()));
  ::ShowWindow(window.hwnd(), SW_RESTORE);
  EXPECT_FALSE(mainWindow.isMinimized());
}

TEST_F(WindowsTest, TimersTickOnlyWhileEnabledWithAnInterval) {
  TestWindow window(windowClass_);
  int ticks = 0;
  const auto timer = window.timers.createTimer([&] { ++ticks; });
  EXPECT_FALSE(timer->enabled());
  EXPECT_EQ(timer->interval(), 0U);

  timer->setEnabled(true);  // interval 0: never ticks
  PumpWhileATwinTicks(window, 5);
  EXPECT_EQ(ticks, 0);

  timer->setInterval(20);
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 2; }, std::chrono::seconds(5)));

  timer->setEnabled(false);
  const int stoppedAt = ticks;
  PumpWhileATwinTicks(window, 5);
  EXPECT_EQ(ticks, stoppedAt);
}

TEST_F(WindowsTest, ATimerGoneTakesItsWindowTimerWithIt) {
  TestWindow window(windowClass_);
  int ticks = 0;
  {
    const auto timer = window.timers.createTimer([&] { ++ticks; });
    timer->setInterval(20);
    timer->setEnabled(true);
  }
  PumpWhileATwinTicks(window, 5);
  EXPECT_EQ(ticks, 0);
}

TEST_F(WindowsTest, ATickIsNotEnteredAgainFromThePumpInsideIt) {
  TestWindow window(windowClass_);
  int depth = 0;
  int deepest = 0;
  int ticks = 0;
  bool dueAgainInside = false;
  std::unique_ptr<Timer> timer;
  timer = window.timers.createTimer([&] {
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
        PumpUntil([&] { return timerMessages() > before; }, std::chrono::seconds(5))) {
      dueAgainInside = true;
    }
    --depth;
  });
  timer->setInterval(10);
  timer->setEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 2; }, std::chrono::seconds(5)));
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

TEST_F(WindowsTest, TheTrayRecordIsTheFirstFormFilledOnce) {
  g_shellCalls.clear();
  TestWindow window(windowClass_);
  const HICON icon = ::LoadIconA(nullptr, IDI_APPLICATION);
  WinTrayIcon tray(window, icon, RecordShellCall);
  tray.add();
  ASSERT_EQ(g_shellCalls.size(), 1U);
  EXPECT_EQ(g_shellCalls[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(g_shellCalls[0].bytes.size(), sizeof(void*) == 8 ? 104U : 88U);

  const TrayIconData& record = tray.record();
  EXPECT_EQ(record.size, NOTIFYICONDATAA_V1_SIZE);
  EXPECT_EQ(record.window, window.hwnd());
  EXPECT_EQ(record.id, 1U);
  EXPECT_EQ(record.flags, 7U);
  EXPECT_EQ(record.callbackMessage, 512U);
  EXPECT_EQ(record.icon, icon);
  EXPECT_EQ(std::string(record.tip, 11), std::string(" Tavrolin \0", 11));
  EXPECT_EQ(std::string(record.tip + 11, 53), std::string(53, ' '));
  EXPECT_EQ(std::memcmp(g_shellCalls[0].bytes.data(), &record, sizeof record), 0);

  tray.remove();
  ASSERT_EQ(g_shellCalls.size(), 2U);
  EXPECT_EQ(g_shellCalls[1].message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(g_shellCalls[1].bytes, g_shellCalls[0].bytes);
}

TEST_F(WindowsTest, ARecreatedTaskbarGetsTheIconBackWhileItIsShown) {
  g_shellCalls.clear();
  TestWindow window(windowClass_);
  WinTrayIcon tray(window, nullptr, RecordShellCall);
  tray.taskbarCreated();  // not added yet: nothing
  EXPECT_TRUE(g_shellCalls.empty());
  tray.add();
  tray.taskbarCreated();
  ASSERT_EQ(g_shellCalls.size(), 2U);
  EXPECT_EQ(g_shellCalls[1].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(g_shellCalls[1].bytes, g_shellCalls[0].bytes);
  tray.remove();
  tray.taskbarCreated();  // removed at exit: stays removed
  EXPECT_EQ(g_shellCalls.size(), 3U);
}

// The Controller's window with a Controller on test doubles, except for the
// window's own timers and the main-window service.
class ControllerWindowTest : public ::testing::Test {
 protected:
  ControllerWindowTest() {
    fake_.environment.directory = testing_directory();
    platform_ = std::make_unique<Platform>(Platform{
        fake_.environment, fake_.files, fake_.profile, fake_.clock, window_.timers(), fake_.time,
        fake_.lastError, window_.mainWindow(), fake_.window, fake_.processes, fake_.processes,
        fake_.processes, fake_.beeper, fake_.windows, fake_.debug, fake_.topology});
    controller_ = std::make_unique<Controller>(*platform_);
    window_.attach(*controller_, {.showOptions = [this] { shown(optionsShown_); },
                                  .showInfo = [this] { shown(infoShown_); }});
  }
  static std::string testing_directory() { return "C:\\Tavrolin"; }

  std::string menuText(int position) {
    char text[64] = {};
    ::GetMenuStringA(window_.popupMenu(), static_cast<UINT>(position), text, sizeof text,
                     MF_BYPOSITION);
    return text;
  }

  AppIcon icon_{Instance()};
  ControllerWindow window_{Instance(), icon_, RecordShellCall};
  fakes::FakePlatform fake_;
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<Controller> controller_;
  int optionsShown_ = 0;
  int infoShown_ = 0;
  bool windowsFail_ = false;  // as when a window cannot be made

 private:
  void shown(int& count) {
    if (windowsFail_) throw Failure(FailureNumber::kInvalidPropertyValue);
    ++count;
  }
};

TEST_F(ControllerWindowTest, IsCreatedMinimizedHiddenAndOutOfTheTaskbar) {
  const HWND hwnd = window_.hwnd();
  ASSERT_NE(hwnd, nullptr);
  char caption[32] = {};
  ::GetWindowTextA(hwnd, caption, sizeof caption);
  EXPECT_STREQ(caption, "Form1");
  EXPECT_TRUE(::IsIconic(hwnd));
  EXPECT_FALSE(::IsWindowVisible(hwnd));
  const LONG_PTR style = ::GetWindowLongPtrA(hwnd, GWL_STYLE);
  const LONG_PTR exStyle = ::GetWindowLongPtrA(hwnd, GWL_EXSTYLE);
  EXPECT_NE(style & WS_CAPTION, 0);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
  EXPECT_NE(exStyle & WS_EX_TOOLWINDOW, 0);
  EXPECT_EQ(exStyle & WS_EX_APPWINDOW, 0);
}

TEST_F(ControllerWindowTest, ThePopupMenuHasTheCaptionsAndExitAsDefault) {
  const HMENU menu = window_.popupMenu();
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(::GetMenuItemCount(menu), 6);
  EXPECT_EQ(menuText(0), "Close Menu");
  EXPECT_EQ(menuText(2), "   Options");
  EXPECT_EQ(menuText(3), "      Info");
  EXPECT_EQ(menuText(5), "    Exit");
  for (const int separator : {1, 4}) {
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE;
    ASSERT_NE(::GetMenuItemInfoA(menu, static_cast<UINT>(separator), TRUE, &item), 0);
    EXPECT_NE(item.fType & MFT_SEPARATOR, 0U) << "position " << separator;
  }
  EXPECT_EQ(::GetMenuDefaultItem(menu, TRUE, 0), 5U);
}

TEST_F(ControllerWindowTest, MenuCommandsReachTheirHandlers) {
  const HWND hwnd = window_.hwnd();
  ::SendMessageA(hwnd, WM_COMMAND, static_cast<WPARAM>(ui::TrayCommand::kClose), 0);
  ::SendMessageA(hwnd, WM_COMMAND, static_cast<WPARAM>(ui::TrayCommand::kOptions), 0);
  ::SendMessageA(hwnd, WM_COMMAND, static_cast<WPARAM>(ui::TrayCommand::kInfo), 0);
  ::SendMessageA(hwnd, WM_COMMAND, static_cast<WPARAM>(ui::TrayCommand::kInfo), 0);
  EXPECT_EQ(optionsShown_, 1);
  EXPECT_EQ(infoShown_, 2);
  EXPECT_FALSE(fake_.environment.endedWith.has_value());
  EXPECT_EQ(fake_.log(), "");

  // A command that fails is reported under the name users' logs know it by.
  windowsFail_ = true;
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

TEST_F(ControllerWindowTest, ClosingTheWindowRunsTheShutdown) {
  ::SendMessageA(window_.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(fake_.environment.endedWith, 0);
  EXPECT_EQ(fake_.window.trayRemoves, 1);
  EXPECT_TRUE(::IsWindow(window_.hwnd()));  // the process ends; the window is not destroyed first
}

TEST_F(ControllerWindowTest, MinimizingHidesTheWindow) {
  ::ShowWindow(window_.hwnd(), SW_SHOWNOACTIVATE);
  ::ShowWindow(window_.hwnd(), SW_RESTORE);
  ASSERT_TRUE(::IsWindowVisible(window_.hwnd()));
  ::ShowWindow(window_.hwnd(), SW_MINIMIZE);  // WM_SIZE, minimized: the resize handler
  EXPECT_FALSE(::IsWindowVisible(window_.hwnd()));
}

// The Controller's own delay and final-mask timers tick through the window's
// messages: a game seen by the poll is pinned after the delay, and one second
// later gets its final mask and the beep.
TEST_F(ControllerWindowTest, TheControllersTimersAreWindowTimers) {
  fake_.processes.start("SupremeCommander.exe");
  controller_->setWatchedImage("SupremeCommander.exe");
  controller_->setDelay(10);
  controller_->onPoll();
  ASSERT_TRUE(controller_->delayTimer().enabled());
  ASSERT_TRUE(
      PumpUntil([&] { return controller_->finalMaskTimer().enabled(); }, std::chrono::seconds(10)));
  EXPECT_FALSE(controller_->delayTimer().enabled());
  ASSERT_TRUE(PumpUntil([&] { return !fake_.beeper.beeps.empty(); }, std::chrono::seconds(10)));
  EXPECT_FALSE(controller_->finalMaskTimer().enabled());
  ASSERT_EQ(fake_.processes.maskSets.size(), 2U);
  EXPECT_EQ(fake_.processes.maskSets[0].mask, 1U);
  EXPECT_EQ(fake_.processes.maskSets[1].mask, 0xFU);
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

TEST_F(ControllerWindowTest, TheTaskbarComingBackBringsTheIconBack) {
  g_shellCalls.clear();
  ASSERT_NE(window_.taskbarCreatedMessage(), 0U);
  ::SendMessageA(window_.hwnd(), window_.taskbarCreatedMessage(), 0, 0);
  EXPECT_TRUE(g_shellCalls.empty());  // no icon yet, so none to restore
  window_.tray().add();
  ::SendMessageA(window_.hwnd(), window_.taskbarCreatedMessage(), 0, 0);
  ASSERT_EQ(g_shellCalls.size(), 2U);
  EXPECT_EQ(g_shellCalls[1].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(g_shellCalls[1].bytes, g_shellCalls[0].bytes);
}

TEST_F(ControllerWindowTest, TheOptionsDialogAndTheInfoWindowAreUnloadedAtExit) {
  struct NoEvents final : OptionsEvents {
    void onGamePicked() override {}
    void onSave() override {}
    void onUnload() override { ++unloads; }
    int unloads = 0;
  } events;
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
  EXPECT_EQ(events.unloads, 1);  // its own unload handling ran
  EXPECT_FALSE(windows.infoWindow().loaded());
  EXPECT_EQ(fake_.environment.endedWith, 0);
}

}  // namespace
}  // namespace tavrolin::win32
