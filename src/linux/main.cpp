// The Linux program: the Controller driven by an event loop, for games run
// under Wine or Proton. Ends on SIGINT or SIGTERM.
#include <cstdio>
#include <string>

#include "backend.h"
#include "controller/form1.h"

int main() {
  tavrolin::linux_backend::Backend backend;
  tavrolin::Form1 form(backend.platform);

  form.Form_Load();
  if (backend.loop.quitting()) return backend.loop.exitCode();  // another copy runs

  // The console's stand-in for the tray: what is watched, and how.
  const std::string line = "tavrolin: watching " + form.strProfileProcess + " (delay " +
                           std::to_string(form.Timer4->interval()) + " ms, online play " +
                           (form.OnlineAllowed ? "allowed" : "not allowed") + "); settings in " +
                           form.IniPath + "\n";
  std::fputs(line.c_str(), stderr);

  backend.loop.run(
      [&] { tavrolin::GuardEvent(form.log(), "Form_Unload", [&] { form.Form_Unload(); }); });
  return backend.loop.exitCode();
}
