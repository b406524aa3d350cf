#pragma once

// What the Windows tests share: the stand-in game started under a game's
// image name, temporary directories, a few readings of the system's own, the
// options dialog's events, and waits that keep the thread's messages running.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/options_window.h"
#include "win_handles.h"
#include "window_timers.h"

namespace tavrolin::win32::testing {

inline HINSTANCE Instance() {
  return ::GetModuleHandleA(nullptr);
}

inline std::string ExecutableDirectory() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path().string();
}

inline std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  ::GetComputerNameA(name, &size);
  return std::string(name, size);
}

// A process's processor mask and the system's, as the system gives them.
struct Masks {
  DWORD_PTR process = 0, system = 0;
};
inline Masks MasksOf(HANDLE process) {
  Masks masks;
  ::GetProcessAffinityMask(process, &masks.process, &masks.system);
  return masks;
}

// The file's bytes as they are on the disk.
inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::string TextOf(HWND window) {
  char text[512] = {};
  ::GetWindowTextA(window, text, sizeof text);
  return text;
}

inline LONG_PTR StyleOf(HWND window, int which = GWL_STYLE) {
  return ::GetWindowLongPtrA(window, which);
}

// Records the events in their order.
class RecordingEvents final : public OptionsEvents {
 public:
  void onGamePicked() override { events.push_back("game picked"); }
  void onSave() override { events.push_back("save"); }
  void onUnload() override {
    events.push_back("unload");
    if (whileUnloading) whileUnloading();
  }
  std::vector<std::string> events;
  std::function<void()> whileUnloading;
};

// A fresh, empty directory under the temporary directory; removed with what
// it holds when the object goes.
class TempDirectory {
 public:
  TempDirectory() {
    static int counter = 0;
    path_ = (std::filesystem::temp_directory_path() /
             ("tavrolin-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
              std::to_string(++counter)))
                .string();
    std::filesystem::create_directory(path_);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  ~TempDirectory() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path_, error)) {
      ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only ones too
    }
    std::filesystem::remove_all(path_, error);
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// The stand-in game, copied under a game's image name into a directory of its
// own and started; ended and removed again when the object goes.
class StandIn {
 public:
  explicit StandIn(const std::string& imageName) {
    const std::string source = ExecutableDirectory() + "\\standin.exe";
    const std::string path = directory_.file(imageName);
    if (::CopyFileA(source.c_str(), path.c_str(), FALSE) == 0) return;
    std::string commandLine = "\"" + path + "\" --threads 3";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
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
  UniqueHandle process_;
  DWORD id_ = 0;
};

// Asks `condition` until it holds or `limit` has passed, running the thread's
// messages meanwhile: window timers tick through them.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  MessagePump pump;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    pump.handleWaitingEvents();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

}  // namespace tavrolin::win32::testing
