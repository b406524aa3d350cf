#pragma once

// Text between the program's byte strings and the system's UTF-16. Paths are
// UTF-8 inside the program, so that a folder name outside the ANSI code page
// survives; what files hold (values, reports) stays in the ANSI code page.

#include <windows.h>

#include <string>
#include <string_view>

namespace tavrolin::win32 {

// `text` in `codePage` (CP_UTF8 for paths, CP_ACP for file contents) as
// UTF-16.
inline std::wstring Widen(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) ::MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

// UTF-16 in `codePage`; what the ANSI code page cannot hold becomes the
// system's default character.
inline std::string Narrow(std::wstring_view text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length =
      ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    ::WideCharToMultiByte(codePage, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
  }
  return narrow;
}

}  // namespace tavrolin::win32
