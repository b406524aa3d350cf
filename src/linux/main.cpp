// The Linux program: the Controller driven by an event loop, for games run
// under Wine or Proton. Ends on SIGINT, SIGTERM, SIGHUP or SIGQUIT; --verbose
// says what each poll found on stderr; --list-cpus says what the CPUs presets
// pick on this machine, and ends.
#include <algorithm>
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

  if (options.action == tavrolin::linux_backend::CommandLine::Action::kListProcessors) {
    tavrolin::linux_backend::LinuxPrivateProfile profile;
    const std::string configured = tavrolin::IniRead(
        profile, std::string(tavrolin::kSection), std::string(tavrolin::kKeyProcessors),
        settingsDirectory + "/" + std::string(tavrolin::kSettingsFileName));
    const std::string text = tavrolin::ListProcessorChoices(
        tavrolin::linux_backend::SysfsTopology().describe(), configured);
    std::fputs(text.c_str(), stdout);
    return 0;
  }

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

  // The processor choice, as config.ini's CPUs made it.
  const tavrolin::ProcessorChoice& choice = controller.processorChoice();
  std::string processors;
  if (!choice.presets.empty()) {
    processors = ", CPUs " + choice.presets + ": " + tavrolin::DescribeMask(choice.processors);
  } else if (choice.processors != 0) {
    processors = ", CPUs " + tavrolin::DescribeMask(choice.processors);
  }

  // The console's stand-in for the tray: what is watched, and how.
  const std::string line = "tavrolin: watching " + controller.watchedImage() + " (delay " +
                           std::to_string(controller.delayTimer().interval()) +
                           " ms, online play " +
                           (controller.onlineAllowed() ? "allowed" : "not allowed") + processors +
                           "); settings and log in " + settingsDirectory + "\n";
  std::fputs(line.c_str(), stderr);

  backend.loop.run([&] {
    tavrolin::GuardEvent(controller.log(), tavrolin::kShutdownLogName,
                         [&] { controller.shutDown(); });
  });
  return backend.loop.exitCode();
}
