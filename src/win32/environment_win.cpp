#include "environment_win.h"

#include <vector>

#include "wide_text.h"

namespace tavrolin::win32 {

namespace {

// In UTF-8: the narrow call cannot name a folder outside the ANSI code page.
std::string ModulePath() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return Narrow(std::wstring_view(path.data(), length), CP_UTF8);
    path.resize(path.size() * 2);  // cut: try again with more room
  }
}

}  // namespace

WinEnvironment::WinEnvironment() {
  const std::string path = ModulePath();
  const std::size_t cut = path.find_last_of("\\/");
  directory_ = cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

std::optional<std::string> WinEnvironment::variable(std::string_view name) const {
  const std::string key(name);
  std::vector<char> value(64);
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length =
        ::GetEnvironmentVariableA(key.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();  // set, but empty
    }
    if (length < value.size()) return std::string(value.data(), length);
    value.resize(length);  // the size it needs, NUL included
  }
}

bool WinEnvironment::computerName(std::span<char> buffer, std::uint32_t& size) {
  DWORD length = static_cast<DWORD>(buffer.size());
  if (::GetComputerNameA(buffer.data(), &length) == 0) return false;
  size = length;
  return true;
}

bool WinEnvironment::anotherInstanceRunning() {
  UniqueHandle mutex(::CreateMutexA(nullptr, FALSE, kInstanceMutexName));
  const DWORD error = ::GetLastError();
  if (!mutex) {
    // Access denied: it exists, made by a copy that runs with other rights.
    return error == ERROR_ACCESS_DENIED;
  }
  if (error == ERROR_ALREADY_EXISTS) return true;
  instanceMutex_ = std::move(mutex);
  return false;
}

void WinEnvironment::endProcess(int exitCode) {
  ::ExitProcess(static_cast<UINT>(exitCode));
}

}  // namespace tavrolin::win32
