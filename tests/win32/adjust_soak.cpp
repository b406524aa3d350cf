// Soak test of the Windows program: many adjustments in a row through the core
// with the real Windows backend (the Controller in its hidden window, the
// terminal-services process list, OpenProcess and SetProcessAffinityMask)
// against the stand-in game. The program's handles, memory and threads must
// end where they started, and every adjustment must take effect.
//
//   win32_adjust_soak [ADJUSTMENTS [QUERIES]]     (default 100 and 1000)
//
// How handles are counted under Wine, and what the system calls themselves
// keep there (and are therefore allowed): docs/testing.md, "No leaks under
// Wine".
#include <windows.h>
// After windows.h, which they build on.
#include <psapi.h>
#include <tlhelp32.h>
#include <wtsapi32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app_icon.h"
#include "backend.h"
#include "controller/controller.h"
#include "controller_window.h"
#include "processes/process_lookup.h"
#include "win_testing.h"
#include "windows_win.h"

namespace {

using namespace tavrolin;
using namespace tavrolin::win32;

// What the program holds: open handles, probed (the handle values that name
// one: multiples of 4, far below the limit for a small program) and as
// reported; threads; committed private memory in KB (Wine reports it as the
// page-file usage and leaves PrivateUsage at 0).
struct Counts {
  long probed = 0, reported = -1, threads = -1, privateKb = -1;
  Counts operator-(const Counts& from) const {
    return {probed - from.probed, reported - from.reported, threads - from.threads,
            privateKb - from.privateKb};
  }
};

Counts Measure() {
  Counts counts;
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0) ++counts.probed;
  }
  DWORD handles = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &handles) != 0)
    counts.reported = static_cast<long>(handles);
  const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 thread{};
  thread.dwSize = sizeof thread;
  if (snapshot) counts.threads = 0;
  for (BOOL more = snapshot ? ::Thread32First(snapshot.get(), &thread) : FALSE; more != 0;
       more = ::Thread32Next(snapshot.get(), &thread)) {
    if (thread.th32OwnerProcessID == ::GetCurrentProcessId()) ++counts.threads;
  }
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (::GetProcessMemoryInfo(::GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof memory) != 0) {
    const SIZE_T committed = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
    counts.privateKb = static_cast<long>(committed / 1024);
  }
  return counts;
}

// What `calls` runs of `call` keep.
template <typename Call>
Counts Kept(int calls, Call call) {
  const Counts before = Measure();
  for (int i = 0; i < calls; ++i) call();
  return Measure() - before;
}

// One phase: `rounds` runs of `step` after a warm-up, against what as many
// runs of `bare` keep. True when the phase kept nothing more.
template <typename Step, typename Bare>
bool Phase(const char* what, int rounds, Step step, Bare bare) {
  for (int i = 0; i < 10; ++i) step();  // warm-up: first allocations, caches
  Kept(10, bare);
  const Counts allowed = Kept(rounds, bare);
  const Counts before = Measure();
  for (int i = 0; i < rounds; ++i) step();
  const Counts after = Measure();
  std::fprintf(stderr,
               "%d %s: handles (probed) %ld -> %ld, GetProcessHandleCount %ld -> %ld, "
               "private memory %ld -> %ld KB, threads %ld -> %ld; "
               "as many bare system calls keep %ld handles, %ld KB\n",
               rounds, what, before.probed, after.probed, before.reported, after.reported,
               before.privateKb, after.privateKb, before.threads, after.threads, allowed.probed,
               allowed.privateKb);
  const Counts kept = after - before;
  return kept.probed <= allowed.probed && kept.reported <= allowed.reported && kept.threads == 0 &&
         kept.privateKb <= allowed.privateKb + 64;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 100;
  const int queries = argc > 2 ? std::atoi(argv[2]) : 1000;
  const std::string image = "SoakGame.exe";
  testing::StandIn game(image);
  if (!game.running()) {
    std::fprintf(stderr, "FAIL the stand-in game did not start\n");
    return 2;
  }

  // The program's own set-up, as WinMain makes it, without the start-up
  // (no settings file, no tray icon).
  const ComApartment com;
  const HINSTANCE instance = testing::Instance();
  const AppIcon icon(instance);
  ControllerWindow window(instance, icon);
  WinWindows windows(instance, icon, window.hwnd());
  Backend backend(window, windows);
  Controller controller(backend.platform);
  windows.setEventLog(controller.log());
  window.attach(controller, {});
  controller.setPolling(false);  // no polls in between: each phase runs alone

  // Does the count see handles at all? Five extra handles to the game must show.
  std::vector<UniqueHandle> extra;
  const Counts opened = Kept(
      5, [&] { extra.emplace_back(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, game.id())); });
  extra.clear();
  std::fprintf(stderr, "5 handles opened: probed %+ld, GetProcessHandleCount %+ld\n", opened.probed,
               opened.reported);
  if (opened.probed != 5 && opened.reported != 5) {
    std::fprintf(stderr, "FAIL neither count sees open handles\n");
    return 1;
  }

  const std::string log = backend.environment.settingsDirectory() + "\\ErrorLog.txt";
  const std::string logBefore = testing::ReadAll(log);

  const DWORD_PTR all = testing::MasksOf(::GetCurrentProcess()).system;
  int wrongMasks = 0;
  const bool adjustmentsOk = Phase(
      "adjustments", rounds,
      [&] {
        controller.pinToFirstProcessor(image);
        if (testing::MasksOf(game.handle()).process != 1) ++wrongMasks;
        controller.applyFinalMask();
        if (testing::MasksOf(game.handle()).process != all) ++wrongMasks;
      },
      [] {
        WTS_PROCESS_INFOW* buffer = nullptr;
        DWORD count = 0;
        if (::WTSEnumerateProcessesW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &buffer, &count) != 0) {
          ::WTSFreeMemory(buffer);
        }
      });
  std::fprintf(stderr, "wrong masks: %d\n", wrongMasks);

  PresenceQuery presence(backend.processNames, backend.processList, controller.log());
  const std::string computer = LocalComputerName(backend.environment, controller.log());
  int missed = 0;
  const bool queriesOk = Phase(
      "presence queries", queries,
      [&] {
        if (presence.presenceOf(computer, image) != Presence::kRunning) ++missed;
      },
      [] {});
  std::fprintf(stderr, "queries that missed the game: %d, WMI outage: %s\n", missed,
               presence.inOutage() ? "yes" : "no");

  const bool ok = adjustmentsOk && queriesOk && wrongMasks == 0 && missed == 0 &&
                  !presence.inOutage() && testing::ReadAll(log) == logBefore;
  std::fprintf(
      stderr, "%s\n",
      ok ? "PASS nothing left behind beyond what the system calls themselves keep" : "FAIL");
  return ok ? 0 : 1;
}
