// The Linux program: the Controller driven by an event loop, for games run
// under Wine or Proton. Ends on SIGINT, SIGTERM, SIGHUP or SIGQUIT; --verbose
// says what each poll found on stderr.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "backend.h"
#include "command_line.h"
#include "config/ini_read_write.h"
#include "config/settings.h"
#include "controller/controller.h"

int main(int argc, char** argv) {
  const tavrolin::linux_backend::CommandLine options =
      tavrolin::linux_backend::ParseCommandLine({argv + std::min(argc, 1), argv + argc});
  if (const auto exitCode = tavrolin::linux_backend::AnswerWithoutRunning(options))
    return *exitCode;
  const std::string settingsDirectory = tavrolin::linux_backend::SettingsDirectoryFor(options);

  tavrolin::linux_backend::Backend backend(settingsDirectory);
  backend.debug.enabled = options.verbose;
  if (const int error = backend.loop.setupError(); error != 0) {
    // Without its signal descriptor the program could not be stopped cleanly.
    std::fprintf(stderr, "tavrolin: cannot watch for the signals that end it: %s\n",
                 std::strerror(error));
    return 1;
  }
  tavrolin::Controller controller(backend.platform);

  // Guarded like every event: no settings file, however damaged, ends the
  // program here.
  tavrolin::GuardEvent(controller.log(), tavrolin::kStartupLogName, [&] { controller.start(); });
  if (backend.loop.quitting()) return backend.loop.exitCode();  // another copy runs

  // The processor choice, which the Windows program makes in its dialog.
  const std::uint64_t processors = tavrolin::ReadProcessorList(
      controller.log(), tavrolin::kStartupLogName,
      tavrolin::IniRead(backend.profile, std::string(tavrolin::kSection),
                        std::string(tavrolin::kKeyProcessors), controller.settingsPath()),
      tavrolin::linux_backend::OnlineProcessors().value_or(~std::uint64_t{0}));
  if (processors != 0) controller.setProcessorSelection(tavrolin::SelectionOf(processors));

  // The console's stand-in for the tray: what is watched, and how.
  const std::string line = "tavrolin: watching " + controller.watchedImage() + " (delay " +
                           std::to_string(controller.delayTimer().interval()) +
                           " ms, online play " +
                           (controller.onlineAllowed() ? "allowed" : "not allowed") +
                           (processors != 0 ? ", CPUs " + tavrolin::DescribeMask(processors) : "") +
                           "); settings and log in " + settingsDirectory + "\n";
  std::fputs(line.c_str(), stderr);

  backend.loop.run([&] {
    tavrolin::GuardEvent(controller.log(), tavrolin::kShutdownLogName,
                         [&] { controller.shutDown(); });
  });
  return backend.loop.exitCode();
}
