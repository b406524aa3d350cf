#include "files_win.h"

#include <algorithm>
#include <array>
#include <limits>

#include "win_handles.h"

namespace tavrolin::win32 {

bool WinFileSystem::isPlainFile(const std::string& path) const {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // What a directory listing under the default filter leaves out.
  constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
  return (attributes & kNotPlain) == 0;
}

std::optional<std::string> WinFileSystem::readText(const std::string& path) const {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ,
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
  // Appending with FILE_APPEND_DATA only: every write lands at the end, even
  // when someone else writes the file too.
  UniqueFile file(::CreateFileA(
      path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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

std::uint32_t WinPrivateProfile::getString(const std::string& section, const std::string& key,
                                           const std::string& defaultValue, std::span<char> buffer,
                                           const std::string& path) {
  if (buffer.empty()) return 0;
  const DWORD size =
      static_cast<DWORD>(std::min<std::size_t>(buffer.size(), std::numeric_limits<DWORD>::max()));
  return ::GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                    buffer.data(), size, path.c_str());
}

bool WinPrivateProfile::writeString(const std::string& section, const std::string& key,
                                    const std::string& value, const std::string& path) {
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) !=
         0;
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
