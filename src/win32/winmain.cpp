// The Windows program: the Controller in its hidden window, reached through the
// tray icon.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include "app_icon.h"
#include "backend.h"
#include "controller/form1.h"
#include "form1_window.h"
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
  Form1Window window(instance, icon);
  if (!window.loaded()) return 1;

  WinWindows windows(instance, icon, window.hwnd());
  Backend backend(window, windows);
  Form1 form(backend.platform);
  windows.setEventLog(form.log());
  window.attach(form, {.showOptions = [&] { form.mnuOptions_Click(); },
                       .showInfo = [&] { form.mnuInfo_Click(); }});

  GuardEvent(form.log(), "Form_Load", [&] { form.Form_Load(); });
  return RunMessageLoop();
}
