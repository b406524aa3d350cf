// A stand-in for the game: a few idle threads that live until the process is
// ended. Tests start it under the game's image names.
//
//   standin [--threads N] [--late-thread-ms MS]
//
// --late-thread-ms starts one more thread after MS milliseconds, to check that
// threads born between the two phases of an adjustment are covered too.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void Idle() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace

int main(int argc, char** argv) {
  int threads = 3;
  long lateThreadMs = -1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--threads") == 0) threads = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--late-thread-ms") == 0) lateThreadMs = std::atol(argv[i + 1]);
  }
  std::vector<std::thread> workers;
  for (int i = 0; i < threads; ++i) workers.emplace_back(Idle);
  if (lateThreadMs >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(lateThreadMs));
    workers.emplace_back(Idle);
  }
  Idle();
}
