#include "command_line.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/profile_text.h"
#include "config/settings.h"
#include "files_linux.h"

namespace tavrolin::linux_backend {

namespace {

constexpr std::string_view kSettingsOption = "--settings-dir";

constexpr std::string_view kHelp =
    "Usage: tavrolin [--settings-dir DIR] [--verbose] [--list-cpus] [--help] [--version]\n"
    "\n"
    "Watches for SupremeCommander.exe (or ForgedAlliance.exe) run under Wine or\n"
    "Proton and, once it has started, spreads it over the processors.\n"
    "\n"
    "  --settings-dir DIR  keep config.ini and ErrorLog.txt in DIR\n"
    "  --verbose           say on stderr what each poll found and each step did\n"
    "  --list-cpus         print the processors each CPUs preset and config.ini's\n"
    "                      CPUs value pick on this machine, and exit\n"
    "  --help              print this help and exit\n"
    "  --version           print the version and exit\n"
    "\n"
    "Without --settings-dir, the settings live beside the program when a\n"
    "config.ini with a [Config] section is there, else in\n"
    "$XDG_CONFIG_HOME/tavrolin (~/.config/tavrolin).\n"
    "See tavrolin(1).\n";

constexpr std::string_view kVersion = "tavrolin " TAVROLIN_VERSION "\n";

std::string Quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

// mkdir -p with mode 0700 for every directory it makes; 0 or an errno.
int MakeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (::mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

// A config.ini with a [Config] section is this program's; another program's
// beside it in a shared folder such as ~/.local/bin is not adopted.
bool IsOwnSettingsFile(const std::string& path) {
  const std::optional<std::string> text = LinuxFileSystem().readText(path);
  return text && profile_text::HasSection(*text, kSection);
}

}  // namespace

CommandLine ParseCommandLine(std::span<const char* const> arguments) {
  CommandLine result;
  const auto usageError = [&](std::string error) {
    result.action = CommandLine::Action::kUsageError;
    result.error = std::move(error);
    return result;
  };
  bool help = false;
  bool version = false;
  bool listProcessors = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      help = true;
    } else if (argument == "--version") {
      version = true;
    } else if (argument == "--verbose" || argument == "-v") {
      result.verbose = true;
    } else if (argument == "--list-cpus") {
      listProcessors = true;
    } else if (argument == kSettingsOption || argument.starts_with("--settings-dir=")) {
      std::string_view directory;
      if (argument == kSettingsOption) {
        if (i + 1 == arguments.size()) return usageError("--settings-dir needs a directory");
        directory = arguments[++i];
      } else {
        directory = argument.substr(kSettingsOption.size() + 1);
      }
      if (directory.empty()) return usageError("--settings-dir needs a directory");
      result.settingsDirectory = std::string(directory);
    } else if (argument.starts_with("-")) {
      return usageError("unknown option " + Quoted(argument));
    } else {
      return usageError("unexpected argument " + Quoted(argument));
    }
  }
  if (help) {
    result.action = CommandLine::Action::kHelp;
  } else if (version) {
    result.action = CommandLine::Action::kVersion;
  } else if (listProcessors) {
    result.action = CommandLine::Action::kListProcessors;
  }
  return result;
}

std::optional<int> AnswerWithoutRunning(const CommandLine& commandLine) {
  switch (commandLine.action) {
    case CommandLine::Action::kHelp:
      std::fwrite(kHelp.data(), 1, kHelp.size(), stdout);
      return 0;
    case CommandLine::Action::kVersion:
      std::fwrite(kVersion.data(), 1, kVersion.size(), stdout);
      return 0;
    case CommandLine::Action::kUsageError:
      std::fprintf(stderr, "tavrolin: %s (see tavrolin --help)\n", commandLine.error.c_str());
      return 2;
    case CommandLine::Action::kRun:
    case CommandLine::Action::kListProcessors:
      break;
  }
  return std::nullopt;
}

SettingsLocation FindSettingsDirectory(const std::optional<std::string>& given,
                                       const std::string& executableDirectory,
                                       std::string_view configHome, std::string_view home) {
  SettingsLocation location;
  if (given) {
    location.directory = *given;
  } else if (IsOwnSettingsFile(executableDirectory + "/config.ini")) {
    location.directory = executableDirectory;  // the portable layout: used where it stands
  } else if (configHome.starts_with('/')) {
    location.directory = std::string(configHome) + "/tavrolin";
  } else if (home.starts_with('/')) {
    location.directory = std::string(home) + "/.config/tavrolin";
  } else {
    // No home of the user's to keep them in: the program's own directory,
    // where the portable layout keeps them.
    return {executableDirectory,
            "tavrolin: no home directory to keep the settings in: settings and log beside the "
            "program, in " +
                executableDirectory};
  }

  if (const int error = MakeDirectories(location.directory); error != 0) {
    location.problem = "tavrolin: cannot create the settings directory " + location.directory +
                       ": " + std::strerror(error) + "; running on the defaults";
  } else if (::access(location.directory.c_str(), W_OK | X_OK) != 0) {
    location.problem = "tavrolin: cannot write in the settings directory " + location.directory +
                       ": " + std::strerror(errno) + "; settings and reports are not saved";
  }
  return location;
}

namespace {

std::string ExecutableDirectory() {
  std::array<char, 4096> path{};
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return ".";
  const std::string executable(path.data(), static_cast<std::size_t>(length));
  const std::size_t slash = executable.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : executable.substr(0, slash);
}

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr)
    return user->pw_dir;
  return {};
}

}  // namespace

std::string SettingsDirectoryFor(const CommandLine& commandLine) {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const SettingsLocation location =
      FindSettingsDirectory(commandLine.settingsDirectory, ExecutableDirectory(),
                            configHome != nullptr ? configHome : "", HomeDirectory());
  if (!location.problem.empty()) std::fprintf(stderr, "%s\n", location.problem.c_str());
  return location.directory;
}

}  // namespace tavrolin::linux_backend
