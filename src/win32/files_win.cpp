#include "files_win.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "wide_text.h"
#include "win_handles.h"

namespace tavrolin::win32 {

namespace {

std::wstring WidePath(const std::string& path) {
  return Widen(path, CP_UTF8);
}

}  // namespace

FileStatus WinFileSystem::status(const std::string& path) const {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data) == 0) {
    const DWORD error = ::GetLastError();
    return {error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileStatus::kNotFound
                                                                           : FileStatus::kOther};
  }
  ::SetLastError(ERROR_SUCCESS);
  // What a directory listing under the default filter leaves out.
  constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
  if ((data.dwFileAttributes & kNotPlain) != 0) return {FileStatus::kOther};
  return {FileStatus::kPlainFile,
          std::uint64_t{data.nFileSizeHigh} << 32 | std::uint64_t{data.nFileSizeLow}};
}

std::optional<std::string> WinFileSystem::readText(const std::string& path) const {
  UniqueFile file(::CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string text;
  std::array<char, 4096> chunk{};
  for (;;) {
    DWORD got = 0;
    if (::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) ==
        0) {
      return std::nullopt;
    }
    if (got == 0) break;
    text.append(chunk.data(), got);
  }
  return text;
}

bool WinFileSystem::writeText(const std::string& path, OpenMode mode, std::string_view bytes) {
  const bool append = mode == OpenMode::kAppend;
  DWORD disposition = CREATE_ALWAYS;
  if (append) disposition = OPEN_ALWAYS;
  if (mode == OpenMode::kCreateNew) disposition = CREATE_NEW;
  // Appending with FILE_APPEND_DATA only: every write lands at the end, even
  // when someone else writes the file too.
  UniqueFile file(::CreateFileW(WidePath(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  while (!bytes.empty()) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<std::size_t>(bytes.size(), std::numeric_limits<DWORD>::max()));
    DWORD written = 0;
    if (::WriteFile(file.get(), bytes.data(), chunk, &written, nullptr) == 0) return false;
    bytes.remove_prefix(written);
  }
  return ::CloseHandle(file.release()) != 0;
}

// The wide functions reach any path; they read and write the file's text in
// the ANSI code page, as the narrow ones do, so values come back as the same
// bytes.
std::uint32_t WinPrivateProfile::getString(const std::string& section, const std::string& key,
                                           const std::string& defaultValue, std::span<char> buffer,
                                           const std::string& path) {
  if (buffer.empty()) return 0;
  const DWORD size =
      static_cast<DWORD>(std::min<std::size_t>(buffer.size(), std::numeric_limits<DWORD>::max()));
  std::vector<wchar_t> wide(size);
  const DWORD copied = ::GetPrivateProfileStringW(
      Widen(section, CP_ACP).c_str(), Widen(key, CP_ACP).c_str(),
      Widen(defaultValue, CP_ACP).c_str(), wide.data(), size, WidePath(path).c_str());
  const std::string value = Narrow(std::wstring_view(wide.data(), copied), CP_ACP);
  const std::size_t length = std::min<std::size_t>(value.size(), size - 1);
  std::memcpy(buffer.data(), value.data(), length);
  buffer[length] = '\0';
  return static_cast<std::uint32_t>(length);
}

bool WinPrivateProfile::writeString(const std::string& section, const std::string& key,
                                    const std::string& value, const std::string& path) {
  return ::WritePrivateProfileStringW(Widen(section, CP_ACP).c_str(), Widen(key, CP_ACP).c_str(),
                                      Widen(value, CP_ACP).c_str(), WidePath(path).c_str()) != 0;
}

namespace {

// Date or time text from one of the two format calls; empty when it fails.
template <typename Format>
std::string Formatted(Format format) {
  std::array<char, 128> text{};
  const int length = format(text.data(), static_cast<int>(text.size()));
  return length > 0 ? std::string(text.data(), static_cast<std::size_t>(length - 1))
                    : std::string();
}

}  // namespace

std::string WinClock::dateText() {
  return Formatted([](char* text, int size) {
    return ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, text, size);
  });
}

std::string WinClock::timeText() {
  return Formatted([](char* text, int size) {
    return ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, size);
  });
}

std::uint32_t WinLastError::code() const {
  return ::GetLastError();
}

}  // namespace tavrolin::win32
