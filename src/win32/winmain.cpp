// The Windows program: the Controller in its hidden window, reached through the
// tray icon.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include "app_icon.h"
#include "backend.h"
#include "controller/form1.h"
#include "form1_window.h"
#include "placeholder_window.h"
#include "win_handles.h"
#include "window.h"

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

  Backend backend(window);
  Form1 form(backend.platform);

  const WindowClass placeholders(instance, PlaceholderWindow::kClassName,
                                 {.icon = icon.largeIcon(), .smallIcon = icon.smallIcon()});
  PlaceholderWindow options(placeholders, "Tavrolin", "The options are not available yet.");
  PlaceholderWindow info(placeholders, "Tavrolin",
                         "Tavrolin spreads a game over all processors: when the game starts, "
                         "it is held on processor 0 for a moment, then given all of them.");
  window.attach(form, {.showOptions = [&] { options.show(); }, .showInfo = [&] { info.show(); }});

  GuardEvent(form.log(), "Form_Load", [&] { form.Form_Load(); });
  return RunMessageLoop();
}
