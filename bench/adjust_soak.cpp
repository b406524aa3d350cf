// Soak test: many adjustments in a row, through the core with the real Linux
// backend, against a real stand-in game. Every adjustment must take effect in
// both phases (every thread on processor 0, then on every processor online),
// and the program's open descriptors, resident memory and threads must end
// where they started.
//
//   adjust_soak STANDIN [ADJUSTMENTS]     (default 1000)
#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "backend.h"
#include "controller/controller.h"

extern char** environ;

namespace {

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count - 3;  // ".", ".." and the directory's own descriptor
}

long StatusField(const std::string& pid, const std::string& field) {
  std::ifstream status("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0)
      return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return -1;
}

// The distinct Cpus_allowed_list values of the process's threads, blank-separated.
std::string ThreadCpus(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::string cpus;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("Cpus_allowed_list:", 0) != 0) continue;
      const std::string value = line.substr(line.find_first_not_of(" \t", 18));
      if ((" " + cpus + " ").find(" " + value + " ") == std::string::npos) {
        cpus += (cpus.empty() ? "" : " ") + value;
      }
    }
  }
  return cpus;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: adjust_soak STANDIN [ADJUSTMENTS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 1000;
  // The adjustment lines are not wanted here; stdout stays open for them.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 2;
  const std::string image = "SoakGame.exe";
  const auto dir =
      std::filesystem::temp_directory_path() / ("tavrolin-soak-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto game = dir / image;
  std::filesystem::copy_file(argv[1], game, std::filesystem::copy_options::overwrite_existing);

  std::string path = game.string();
  char* gameArgv[] = {path.data(), nullptr};
  pid_t gamePid = 0;
  if (posix_spawn(&gamePid, path.c_str(), nullptr, nullptr, gameArgv, environ) != 0) return 2;
  usleep(200 * 1000);

  // No desktop notification for each of a thousand adjustments.
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  unsetenv("XDG_RUNTIME_DIR");
  tavrolin::linux_backend::Backend backend(dir.string());
  tavrolin::Controller controller(backend.platform);
  const std::string self = std::to_string(getpid());
  std::string online;
  std::getline(std::ifstream("/sys/devices/system/cpu/online"), online);

  const std::string log = (dir / "ErrorLog.txt").string();
  const auto logSize = [&] {
    std::error_code error;
    const auto size = std::filesystem::file_size(log, error);
    return error ? std::uintmax_t{0} : size;
  };
  const std::uintmax_t logBefore = logSize();
  int wrong = 0;
  const auto adjust = [&] {
    controller.pinToFirstProcessor(image);
    if (ThreadCpus(gamePid) != "0") ++wrong;
    controller.applyFinalMask();
    if (ThreadCpus(gamePid) != online) ++wrong;
  };
  for (int i = 0; i < 20; ++i) adjust();  // warm-up: first allocations, caches (checked too)
  const int fdsBefore = OpenDescriptors();
  const long rssBefore = StatusField(self, "VmRSS");
  const long threadsBefore = StatusField(self, "Threads");

  for (int i = 0; i < rounds; ++i) adjust();
  const int fdsAfter = OpenDescriptors();
  const long rssAfter = StatusField(self, "VmRSS");
  const long threadsAfter = StatusField(self, "Threads");
  const std::uintmax_t logAfter = logSize();  // before the directory goes

  kill(gamePid, SIGKILL);
  waitpid(gamePid, nullptr, 0);
  std::filesystem::remove_all(dir);

  std::fprintf(stderr,
               "%d adjustments: descriptors %d -> %d, resident %ld -> %ld kB, threads %ld -> %ld, "
               "phases that did not take effect %d\n",
               rounds, fdsBefore, fdsAfter, rssBefore, rssAfter, threadsBefore, threadsAfter,
               wrong);
  const bool ok = fdsAfter == fdsBefore && threadsAfter == threadsBefore &&
                  rssAfter - rssBefore <= 64 && wrong == 0 && logAfter == logBefore;
  std::fprintf(stderr, "%s\n", ok ? "PASS no descriptors, memory or threads left behind" : "FAIL");
  return ok ? 0 : 1;
}
