// Soak test of the Windows program: many adjustments in a row through the core
// with the real Windows backend (the Controller in its hidden window, the
// terminal-services process list, OpenProcess and SetProcessAffinityMask)
// against the stand-in game. The program's handles, memory and threads must
// end where they started, and every adjustment must take effect.
//
//   win32_adjust_soak [ADJUSTMENTS [QUERIES]]     (default 100 and 1000)
//
// Handles are counted twice: by GetProcessHandleCount and by probing every
// handle value. Wine answers GetProcessHandleCount with 0 whatever is open, so
// there the probe is the measure; either must move when handles are opened,
// which the program checks first, so that a count that sees nothing cannot
// pass for a flat one.
//
// Two system calls keep something under Wine 8.0 whoever calls them:
// WTSEnumerateProcessesW about 8 KB per call even after WTSFreeMemory (the
// toolhelp snapshot and NtQuerySystemInformation keep nothing), and binding
// the "winmgmts:" moniker 2 handles per bind. So the adjustments, which list
// the processes once each, are allowed exactly what as many bare listings
// keep; on Windows that is nothing. The presence queries, as the poll makes
// them, bind WMI once and keep the bound object: they are allowed nothing.
#include <windows.h>
// After windows.h, which they build on.
#include <psapi.h>
#include <tlhelp32.h>
#include <wbemdisp.h>
#include <wtsapi32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app_icon.h"
#include "backend.h"
#include "controller/controller.h"
#include "controller_window.h"
#include "processes/process_lookup.h"
#include "standin_process.h"
#include "win_handles.h"
#include "windows_win.h"

namespace {

using tavrolin::win32::UniqueHandle;

// The handle values of the process that name an open handle. Handle values
// are multiples of 4; the table of a small program stays far below the limit.
long ProbedHandles() {
  long count = 0;
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0) ++count;
  }
  return count;
}

long ReportedHandles() {
  DWORD count = 0;
  return ::GetProcessHandleCount(::GetCurrentProcess(), &count) != 0 ? static_cast<long>(count)
                                                                     : -1;
}

long Threads() {
  const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return -1;
  long count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more != 0;
       more = ::Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
  }
  return count;
}

// Committed private memory (Wine reports it as the page-file usage and leaves
// PrivateUsage at 0) and the working set, in KB.
struct Memory {
  long privateKb = -1;
  long workingSetKb = -1;
};
Memory MemoryInUse() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  Memory memory;
  if (::GetProcessMemoryInfo(::GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters) != 0) {
    const SIZE_T committed =
        counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    memory.privateKb = static_cast<long>(committed / 1024);
    memory.workingSetKb = static_cast<long>(counters.WorkingSetSize / 1024);
  }
  return memory;
}

struct Counts {
  long probed = 0;
  long reported = 0;
  long threads = 0;
  Memory memory;
};
Counts Measure() {
  return {ProbedHandles(), ReportedHandles(), Threads(), MemoryInUse()};
}

Counts Difference(const Counts& from, const Counts& to) {
  return {to.probed - from.probed,
          to.reported - from.reported,
          to.threads - from.threads,
          {to.memory.privateKb - from.memory.privateKb,
           to.memory.workingSetKb - from.memory.workingSetKb}};
}

// What `calls` runs of `call` keep.
template <typename Call>
Counts Kept(int calls, Call call) {
  const Counts before = Measure();
  for (int i = 0; i < calls; ++i) call();
  return Difference(before, Measure());
}

void BareProcessListing() {
  WTS_PROCESS_INFOW* buffer = nullptr;
  DWORD count = 0;
  if (::WTSEnumerateProcessesW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &buffer, &count) != 0) {
    ::WTSFreeMemory(buffer);
  }
}

void BareWmiBind(const std::wstring& moniker) {
  tavrolin::win32::ComPtr<ISWbemServices> services;
  ::CoGetObject(moniker.c_str(), nullptr, IID_ISWbemServices, services.putVoid());
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
  const Counts kept = Difference(before, after);
  std::fprintf(stderr,
               "%d %s: handles (probed) %ld -> %ld, GetProcessHandleCount %ld -> %ld, "
               "private memory %ld -> %ld KB, working set %ld -> %ld KB, threads %ld -> %ld; "
               "as many bare system calls keep %ld handles, %ld KB\n",
               rounds, what, before.probed, after.probed, before.reported, after.reported,
               before.memory.privateKb, after.memory.privateKb, before.memory.workingSetKb,
               after.memory.workingSetKb, before.threads, after.threads, allowed.probed,
               allowed.memory.privateKb);
  return kept.probed <= allowed.probed && kept.reported <= allowed.reported && kept.threads == 0 &&
         kept.memory.privateKb <= allowed.memory.privateKb + 64;
}

DWORD_PTR GameMask(HANDLE game) {
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  if (::GetProcessAffinityMask(game, &processMask, &systemMask) == 0) return 0;
  return processMask;
}

DWORD_PTR SystemMask() {
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  ::GetProcessAffinityMask(::GetCurrentProcess(), &processMask, &systemMask);
  return systemMask;
}

// The tray is not wanted here.
BOOL WINAPI NoShell(DWORD /*message*/, PNOTIFYICONDATAA /*data*/) {
  return TRUE;
}

std::uintmax_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) == 0) return 0;
  return (static_cast<std::uintmax_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavrolin;
  using namespace tavrolin::win32;

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
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  const AppIcon icon(instance);
  ControllerWindow window(instance, icon, NoShell);
  WinWindows windows(instance, icon, window.hwnd());
  Backend backend(window, windows);
  Controller controller(backend.platform);
  windows.setEventLog(controller.log());
  window.attach(controller, {});
  controller.setPolling(false);  // no polls in between: each phase runs alone

  // Does the count see handles at all? Five extra handles to the game must show.
  const Counts idle = Measure();
  std::vector<UniqueHandle> extra;
  for (int i = 0; i < 5; ++i) {
    extra.emplace_back(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, game.id()));
  }
  const Counts opened = Measure();
  extra.clear();
  std::fprintf(stderr, "5 handles opened: probed %ld -> %ld, GetProcessHandleCount %ld -> %ld\n",
               idle.probed, opened.probed, idle.reported, opened.reported);
  if (opened.probed - idle.probed != 5 && opened.reported - idle.reported != 5) {
    std::fprintf(stderr, "FAIL neither count sees open handles\n");
    return 1;
  }

  const std::string log = backend.environment.settingsDirectory() + "\\ErrorLog.txt";
  const std::uintmax_t logBefore = FileSize(log);

  const DWORD_PTR all = SystemMask();
  int wrongMasks = 0;
  const bool adjustmentsOk = Phase(
      "adjustments", rounds,
      [&] {
        controller.pinToFirstProcessor(image);
        if (GameMask(game.handle()) != 1) ++wrongMasks;
        controller.applyFinalMask();
        if (GameMask(game.handle()) != all) ++wrongMasks;
      },
      BareProcessListing);
  std::fprintf(stderr, "wrong masks: %d\n", wrongMasks);

  PresenceQuery presence(backend.processNames, backend.processList, controller.log());
  const std::string computer = LocalComputerName(backend.environment, controller.log());
  const std::wstring moniker = L"winmgmts://" + std::wstring(computer.begin(), computer.end());
  const Counts bind = Kept(10, [&] { BareWmiBind(moniker); });
  std::fprintf(stderr, "10 bare binds of WMI keep %ld handles\n", bind.probed);
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
                  !presence.inOutage() && FileSize(log) == logBefore;
  std::fprintf(
      stderr, "%s\n",
      ok ? "PASS nothing left behind beyond what the system calls themselves keep" : "FAIL");
  return ok ? 0 : 1;
}
