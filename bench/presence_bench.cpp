// What one presence query costs on Linux, against `pgrep -x NAME` on the same
// process table in the same run, and what one whole poll tick costs.
//
//   presence_bench [ITERATIONS]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "backend.h"
#include "controller/controller.h"

extern char** environ;

namespace {

double Seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU seconds of children that have been waited for.
double ChildrenCpu() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

bool RunPgrep(const char* name) {
  char pgrep[] = "pgrep";
  char exact[] = "-x";
  std::string wanted(name);
  char* argv[] = {pgrep, exact, wanted.data(), nullptr};
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "pgrep", &quiet, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status);
}

}  // namespace

int main(int argc, char** argv) {
  const int iterations = argc > 1 ? std::atoi(argv[1]) : 200;
  // Not running, so every process is looked at; short enough for pgrep, which
  // matches only the first 15 characters of a name.
  const char* absent = "NoSuchGame.exe";

  // A report, should a query fail, goes beside the benchmark.
  tavrolin::linux_backend::Backend backend(
      std::filesystem::canonical("/proc/self/exe").parent_path().string());
  tavrolin::Controller controller(backend.platform);
  tavrolin::PresenceQuery query(backend.processes, backend.processes, controller.log());

  int processes = 0;
  backend.processes.forEachName("", [&](std::string_view) { return ++processes, true; });

  double wall = Seconds(CLOCK_MONOTONIC);
  double cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID);
  bool found = false;
  for (int i = 0; i < iterations; ++i)
    found |= query.presenceOf("", absent) == tavrolin::Presence::kRunning;
  const double queryWall = (Seconds(CLOCK_MONOTONIC) - wall) / iterations;
  const double queryCpu = (Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu) / iterations;

  wall = Seconds(CLOCK_MONOTONIC);
  const double childCpu = ChildrenCpu();
  for (int i = 0; i < iterations; ++i) {
    if (!RunPgrep(absent)) {
      std::fprintf(stderr, "pgrep could not be run\n");
      return 1;
    }
  }
  const double pgrepWall = (Seconds(CLOCK_MONOTONIC) - wall) / iterations;
  const double pgrepCpu = (ChildrenCpu() - childCpu) / iterations;

  cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID);
  for (int i = 0; i < iterations; ++i) controller.onPoll();
  const double tickCpu = (Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu) / iterations;

  std::printf("processes in the table:            %d\n", processes);
  std::printf("presence query (wall):             %8.1f us\n", queryWall * 1e6);
  std::printf("presence query (CPU):              %8.1f us\n", queryCpu * 1e6);
  std::printf("pgrep -x, spawned (wall):          %8.1f us\n", pgrepWall * 1e6);
  std::printf("pgrep -x, spawned (CPU of pgrep):  %8.1f us\n", pgrepCpu * 1e6);
  std::printf("ratio pgrep / query (wall):        %8.1f x\n", pgrepWall / queryWall);
  std::printf("one poll tick, two queries (CPU):  %8.1f us\n", tickCpu * 1e6);
  return found ? 2 : 0;  // the name must not have been running
}
