#pragma once

// The stand-in game, copied under a game's image name into a directory of its
// own and started; ended and removed again when the object goes.

#include <windows.h>

#include <chrono>
#include <string>

#include "win_handles.h"

namespace tavrolin::win32::testing {

inline std::string ExecutableDirectory() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path, length);
  return text.substr(0, text.find_last_of('\\'));
}

// A fresh, empty directory under the temporary directory; removed with what
// it holds when the object goes.
class TempDirectory {
 public:
  TempDirectory() {
    char base[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, base);
    static int counter = 0;
    path_ = std::string(base) + "tavrolin-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    ::CreateDirectoryA(path_.c_str(), nullptr);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  ~TempDirectory() {
    WIN32_FIND_DATAA found{};
    const HANDLE search = ::FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string file = path_ + "\\" + name;
        ::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
          ::RemoveDirectoryA(file.c_str());
        } else {
          ::DeleteFileA(file.c_str());
        }
      } while (::FindNextFileA(search, &found) != 0);
      ::FindClose(search);
    }
    ::RemoveDirectoryA(path_.c_str());
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

class StandIn {
 public:
  explicit StandIn(const std::string& imageName, int threads = 3) {
    const std::string source = ExecutableDirectory() + "\\standin.exe";
    path_ = directory_.file(imageName);
    if (::CopyFileA(source.c_str(), path_.c_str(), FALSE) == 0) return;
    std::string commandLine = "\"" + path_ + "\" --threads " + std::to_string(threads);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (::CreateProcessA(path_.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                         CREATE_NO_WINDOW, nullptr, directory_.path().c_str(), &startup,
                         &info) == 0) {
      return;
    }
    process_.reset(info.hProcess);
    UniqueHandle thread(info.hThread);
    id_ = info.dwProcessId;
  }
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;
  ~StandIn() { stop(); }

  bool running() const {
    return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
  }
  void stop() {
    if (!process_) return;
    ::TerminateProcess(process_.get(), 0);
    ::WaitForSingleObject(process_.get(), 5000);
    process_.reset();
  }
  DWORD id() const { return id_; }
  HANDLE handle() const { return process_.get(); }

 private:
  TempDirectory directory_;
  std::string path_;
  UniqueHandle process_;
  DWORD id_ = 0;
};

// Asks `condition` until it holds or `limit` has passed.
template <typename Condition>
bool Eventually(Condition condition,
                std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    ::Sleep(50);
  }
}

}  // namespace tavrolin::win32::testing
