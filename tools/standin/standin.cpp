// A stand-in for the game: a few idle threads that live until the process is
// ended. Tests start it under the game's image names.
//
//   standin [--threads N] [--on-pin thread|exit] [--churn N] [--on-line thread]
//
// --on-pin (Linux) acts as soon as the process finds itself pinned to
// processor 0, so that something happens between the two phases of an
// adjustment however long the program took to start: "thread" starts one more
// thread, "exit" ends the process. A line on stdout says that it acted.
//
// --churn N (Linux), from the same moment and for 5 s: N chains of threads
// that keep starting and ending, each thread starting its successor and
// ending 10 ms after it began, or at once when the main thread (the first one
// a change of mask reaches) has just been given a new mask; the last of each
// chain stays, and "churn over" on stdout says when. A new thread takes the
// mask of the thread that starts it, so a chain whose successor is born while
// the final mask is being set, and that the program then misses, stays on
// processor 0.
//
// --on-line thread: one more thread for each line read on stdin, whenever the
// test wants one (after an adjustment, say); "one more thread" on stdout.
//
// On Windows the idle threads are the system's own: the 32-bit build's
// compiler has no std::thread.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <chrono>
#include <thread>
#endif
#if defined(__linux__)
#include <sched.h>

#include <condition_variable>
#include <mutex>
#endif

namespace {

#if defined(_WIN32)
[[noreturn]] void Idle() {
  for (;;) ::Sleep(INFINITE);
}
DWORD WINAPI IdleThread(void*) {
  Idle();
}
void StartIdleThread() {
  const HANDLE thread = ::CreateThread(nullptr, 0, IdleThread, nullptr, 0, nullptr);
  if (thread != nullptr) ::CloseHandle(thread);
}
#else
[[noreturn]] void Idle() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
void StartIdleThread() {
  std::thread(Idle).detach();
}
#endif

#if defined(__linux__)
// Whether this thread may run on processor 0 alone. The program changes every
// thread; new threads inherit the mask of the thread that makes them.
bool PinnedToFirst() {
  cpu_set_t set;
  CPU_ZERO(&set);
  return sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) == 1 && CPU_ISSET(0, &set);
}

cpu_set_t OwnMask() {
  cpu_set_t set;
  CPU_ZERO(&set);
  sched_getaffinity(0, sizeof set, &set);
  return set;
}

// The chains' shared state: a round number that the main thread moves on
// whenever its mask changes, and whether the churn is over.
struct Churn {
  std::mutex lock;
  std::condition_variable moved;
  int round = 0;
  bool over = false;
} churn;

void Relay(int round) {
  std::unique_lock lock(churn.lock);
  churn.moved.wait_for(lock, std::chrono::milliseconds(10),
                       [&] { return churn.round != round || churn.over; });
  const int now = churn.round;
  if (churn.over) {
    lock.unlock();
    Idle();
  }
  lock.unlock();
  std::thread(Relay, now).detach();
}

void ChurnFor(int chains, std::chrono::seconds length) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < chains; ++i) std::thread(Relay, 0).detach();
  cpu_set_t last = OwnMask();
  // The final mask comes about a second after the pin: from shortly before
  // then the main thread watches its own mask without pause, so that the
  // chains react while the rest of the process still has the old one.
  while (std::chrono::steady_clock::now() < start + length) {
    if (std::chrono::steady_clock::now() < start + std::chrono::milliseconds(800)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const cpu_set_t mask = OwnMask();
    if (CPU_EQUAL(&mask, &last) != 0) continue;
    last = mask;
    {
      const std::lock_guard guard(churn.lock);
      ++churn.round;
      churn.moved.notify_all();
    }
    std::this_thread::sleep_until(start + length);  // once is enough
  }
  const std::lock_guard guard(churn.lock);
  churn.over = true;
  churn.moved.notify_all();
}
#endif

}  // namespace

int main(int argc, char** argv) {
  int threads = 3;
  [[maybe_unused]] int chains = 0;  // Linux only
  std::string onPin;
  std::string onLine;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--threads") == 0) threads = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--on-pin") == 0) onPin = argv[i + 1];
    if (std::strcmp(argv[i], "--churn") == 0) chains = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--on-line") == 0) onLine = argv[i + 1];
  }
  for (int i = 0; i < threads; ++i) StartIdleThread();
#if defined(__linux__)
  if (chains > 0) {
    while (!PinnedToFirst()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::puts("pinned: churning");
    std::fflush(stdout);
    ChurnFor(chains, std::chrono::seconds(5));
    std::puts("churn over");
    std::fflush(stdout);
  }
  if (onPin == "thread" || onPin == "exit") {
    while (!PinnedToFirst()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (onPin == "exit") {
      std::puts("pinned: exiting");
      std::fflush(stdout);
      std::_Exit(0);
    }
    StartIdleThread();
    std::puts("pinned: one more thread");
    std::fflush(stdout);
  }
#endif
  if (onLine == "thread") {
    char line[256];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
      StartIdleThread();
      std::puts("one more thread");
      std::fflush(stdout);
    }
  }
  Idle();
}
