// The Windows program: the Controller in its hidden window, reached through the
// tray icon.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include "app_icon.h"
#include "backend.h"
#include "controller/controller.h"
#include "controller_window.h"
#include "win_handles.h"
#include "window.h"
#include "windows_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
  using namespace tavrolin;
  using namespace tavrolin::win32;

  // The presence query's WMI objects live in this thread's apartment.
  const ComApartment com;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);

  const AppIcon icon(instance);
  ControllerWindow window(instance, icon);
  if (!window.loaded()) return 1;

  WinWindows windows(instance, icon, window.hwnd());
  Backend backend(window, windows);
  Controller controller(backend.platform);
  windows.setEventLog(controller.log());
  window.attach(controller, {.showOptions = [&] { controller.openOptions(); },
                             .showInfo = [&] { controller.openInfo(); }});

  GuardEvent(controller.log(), kStartupLogName, [&] { controller.start(); });
  return RunMessageLoop();
}
