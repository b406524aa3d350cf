#pragma once

#include <string>

#include "platform/environment.h"
#include "win_handles.h"

namespace tavrolin::win32 {

class WinEnvironment final : public Environment {
 public:
  WinEnvironment();

  // Beside the exe: the Windows program is one file that keeps its settings
  // with it.
  std::string settingsDirectory() const override { return directory_; }
  char pathSeparator() const override { return '\\'; }
  std::optional<std::string> variable(std::string_view name) const override;
  bool computerName(std::span<char> buffer, std::uint32_t& size) override;
  // A named mutex of the session: the system drops it when its holder ends,
  // however it ends.
  bool anotherInstanceRunning() override;
  void endProcess(int exitCode) override;

  static constexpr const char* kInstanceMutexName = "Local\\Tavrolin.SingleInstance";

 private:
  std::string directory_;
  UniqueHandle instanceMutex_;
};

}  // namespace tavrolin::win32
