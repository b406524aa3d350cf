// A stand-in for the game: a few idle threads that live until the process is
// ended. Tests start it under the game's image names.
//
//   standin [--threads N] [--on-pin thread|exit]
//
// --on-pin (Linux) acts as soon as the process finds itself pinned to
// processor 0, so that something happens between the two phases of an
// adjustment however long the program took to start: "thread" starts one more
// thread, "exit" ends the process. A line on stdout says that it acted.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

namespace {

[[noreturn]] void Idle() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

#if defined(__linux__)
// Whether this thread may run on processor 0 alone. The program changes every
// thread; new threads inherit the mask of the thread that makes them.
bool PinnedToFirst() {
  cpu_set_t set;
  CPU_ZERO(&set);
  return sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) == 1 && CPU_ISSET(0, &set);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  int threads = 3;
  std::string onPin;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--threads") == 0) threads = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--on-pin") == 0) onPin = argv[i + 1];
  }
  std::vector<std::thread> workers;
  for (int i = 0; i < threads; ++i) workers.emplace_back(Idle);
#if defined(__linux__)
  if (onPin == "thread" || onPin == "exit") {
    while (!PinnedToFirst()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (onPin == "exit") {
      std::puts("pinned: exiting");
      std::fflush(stdout);
      std::_Exit(0);
    }
    workers.emplace_back(Idle);
    std::puts("pinned: one more thread");
    std::fflush(stdout);
  }
#endif
  Idle();
}
