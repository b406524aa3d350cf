#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tavrolin::linux_backend {

// tavrolin [--settings-dir DIR] [--verbose] [--list-cpus] [--help] [--version]
struct CommandLine {
  // kListProcessors: print what each CPUs value picks here, and exit.
  enum class Action { kRun, kListProcessors, kHelp, kVersion, kUsageError };
  Action action = Action::kRun;
  std::optional<std::string> settingsDirectory;
  bool verbose = false;  // a line on stderr per poll and per step of an adjustment
  std::string error;     // kUsageError: what was wrong, for one line on stderr
};

// `arguments` without the program's own name.
CommandLine ParseCommandLine(std::span<const char* const> arguments);

// Answers --help and --version on stdout and a usage error on stderr, and
// gives the exit status; nullopt when the program is to run or to list the
// processors.
std::optional<int> AnswerWithoutRunning(const CommandLine& commandLine);

// Where config.ini and ErrorLog.txt live. `problem` is one line for stderr
// (without its line break) when the directory cannot be created or written;
// the program then runs on what it can read, and on the defaults.
struct SettingsLocation {
  std::string directory;
  std::string problem;
};

// The first that applies: `given` (--settings-dir); `executableDirectory`
// when a config.ini with a [Config] section is there (the portable layout);
// `configHome`/tavrolin
// when that is an absolute path (XDG_CONFIG_HOME); `home`/.config/tavrolin.
// The directory is created with mode 0700 when missing, with any missing
// parents.
SettingsLocation FindSettingsDirectory(const std::optional<std::string>& given,
                                       const std::string& executableDirectory,
                                       std::string_view configHome, std::string_view home);

// FindSettingsDirectory for this process (its executable, XDG_CONFIG_HOME,
// HOME or else the password database); prints the problem, if any, on stderr.
std::string SettingsDirectoryFor(const CommandLine& commandLine);

}  // namespace tavrolin::linux_backend
