#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/debug_output.h"

namespace tavrolin::win32 {

// The debug output through OutputDebugStringA, always: without a debugger
// attached it costs next to nothing. DebugView shows the lines; under Wine,
// WINEDEBUG=+debugstr does.
class WinDebugOutput final : public DebugOutput {
 public:
  void line(std::string_view text) override {
    // The core may still read the last error of the call before.
    const DWORD lastError = ::GetLastError();
    std::string message = "Tavrolin: ";
    message += text;
    message += '\n';
    ::OutputDebugStringA(message.c_str());
    ::SetLastError(lastError);
  }
};

}  // namespace tavrolin::win32
