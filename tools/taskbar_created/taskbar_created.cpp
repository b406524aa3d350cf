// Tells every top-level window that the taskbar was created anew, as the shell
// does when it restarts: the registered "TaskbarCreated" message, broadcast.
// Returns when the windows have handled it (or after 5 s for a hung one).
// The end-to-end tests use it to see the tray icon come back.
//
//   taskbar_created
#include <windows.h>

#include <cstdio>

int main() {
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
