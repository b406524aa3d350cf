#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "affinity/bit_masks.h"
#include "affinity/processor_selection.h"
#include "controller/handle_slot.h"
#include "diagnostics/error_log.h"
#include "platform/platform.h"
#include "processes/process_lookup.h"
#include "ui/form3.h"

namespace tavrolin {

inline constexpr std::string_view kLobbyClient = "GPG.Multiplayer.Client.exe";

// The Controller: the program's one main-window object. It owns the shared
// state, runs startup and shutdown, and carries the three timers that drive
// all work: the poll (Timer3), the initialize delay (Timer4) and the
// final-mask step (Timer1).
class Form1 {
 public:
  explicit Form1(Platform& platform);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1();

  // Fields that other parts read and write.
  std::int16_t numProcessors = 0;
  bool isRunning = false;
  std::string strProfileProcess;
  std::string strCustomeErrText;
  ProcessorSelection CustomProc;
  bool OnlineAllowed = false;
  std::string IniPath;

  // Created with the Controller, never replaced.
  std::unique_ptr<Timer> Timer1;
  std::unique_ptr<Timer> Timer3;
  std::unique_ptr<Timer> Timer4;

  // Startup. Ends the process at once when another copy runs.
  void Form_Load();
  void Form_Resize();
  // Shutdown: unloads the other windows, removes the tray icon, ends the
  // process.
  void Form_Unload();
  // The tray menu's commands ("Close Menu" has none: the menu has closed).
  void mnuOptions_Click();
  void mnuInfo_Click();
  void mnuExit_Click();

  bool FileExist(const std::string& parmPath) const;

  // The watcher.
  void Timer3_Timer();
  void Timer4_Timer();
  // The adjustment: the first phase, and the final-mask step one second later.
  void SetAffinity(const std::string& strImageName);
  void Timer1_Timer();

  ErrorLog& log() { return log_; }
  Platform& platform() { return platform_; }

 private:
  // The timers' handlers, each guarded as an event.
  std::unique_ptr<Timer> makeTimer(std::uint32_t interval, bool enabled, const char* event,
                                   void (Form1::*handler)());

  void WriteDefaultConfig();
  void RepairGame();
  std::string settingsPathFor(std::string_view fileName) const;
  void loadSettings(bool fileReadable);

  Platform& platform_;
  ErrorLog log_;
  PresenceQuery presence_;

  std::int16_t iProcessors = 0;
  BitMaskTable BitMaskTable_;
  std::uint64_t MyMask = 0;
  std::uint32_t lngPID = 0;
  ProcessHandleSlot lngHwndProcess;
  std::string ComputerName;
  std::string pinnedImage_;       // the image SetAffinity pinned, for the beep's line
  std::unique_ptr<Form3> form3_;  // the options dialog, made on first use
};

}  // namespace tavrolin
