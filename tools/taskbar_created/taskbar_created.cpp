// What a restarting shell does to the programs in the notification area, in
// two steps, for the end-to-end tests under Wine:
//
//   taskbar_created --forget CLASS [ID]
//       The shell forgets the tray icons: the icon ID (default 1) of the
//       top-level window of class CLASS is taken away.
//   taskbar_created
//       The taskbar is created anew: the registered "TaskbarCreated" message
//       goes to every top-level window. Returns when they have handled it (or
//       after 5 s for a hung one).
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Forget(const char* windowClass, UINT id) {
  const HWND window = ::FindWindowA(windowClass, nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "no window of class %s\n", windowClass);
    return 1;
  }
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window;
  data.uID = id;
  if (::Shell_NotifyIconA(NIM_DELETE, &data) == 0) {
    std::fprintf(stderr, "the shell kept the icon\n");
    return 1;
  }
  std::printf("icon %u of the %s window taken away\n", id, windowClass);
  return 0;
}

int Broadcast() {
  const UINT message = ::RegisterWindowMessageA("TaskbarCreated");
  if (message == 0) {
    std::fprintf(stderr, "RegisterWindowMessage failed: %lu\n", ::GetLastError());
    return 1;
  }
  DWORD_PTR result = 0;
  if (::SendMessageTimeoutA(HWND_BROADCAST, message, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) == 0) {
    std::fprintf(stderr, "the broadcast failed: %lu\n", ::GetLastError());
    return 1;
  }
  std::printf("TaskbarCreated (message 0x%X) sent to every top-level window\n", message);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--forget") == 0) {
    const UINT id = argc >= 4 ? static_cast<UINT>(std::strtoul(argv[3], nullptr, 10)) : 1;
    return Forget(argv[2], id);
  }
  if (argc == 1) return Broadcast();
  std::fprintf(stderr, "usage: taskbar_created [--forget CLASS [ID]]\n");
  return 2;
}
