#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "affinity/bit_masks.h"
#include "affinity/processor_presets.h"
#include "affinity/processor_selection.h"
#include "controller/handle_slot.h"
#include "diagnostics/error_log.h"
#include "platform/platform.h"
#include "processes/process_lookup.h"
#include "ui/watch_settings.h"

namespace tavrolin {

class OptionsDialog;

inline constexpr std::string_view kLobbyClient = "GPG.Multiplayer.Client.exe";

// What ErrorLog.txt calls the Controller's actions: a report's heading is
// "Error occurred in " and one of these. Users' logs and what they have learnt
// from them use these names, so they stay as they are; docs/error-log.md says
// which action each one is.
inline constexpr std::string_view kStartupLogName = "Form_Load";
inline constexpr std::string_view kWindowResizedLogName = "Form_Resize";
inline constexpr std::string_view kShutdownLogName = "Form_Unload";
inline constexpr std::string_view kPollLogName = "Timer3_Timer";
inline constexpr std::string_view kDelayElapsedLogName = "Timer4_Timer";
inline constexpr std::string_view kPinLogName = "SetAffinity";
inline constexpr std::string_view kFinalMaskLogName = "Timer1_Timer";

// The Controller: the program's one main-window object, alive from start to
// end. It owns the state of the watch (the game watched for, whether it has
// been seen, online play, the processor selection and the CPUs value it came
// from, the settings file's path and the computer name), the error log, the
// three timers that drive all work (the poll, the delay after a game start,
// and the final-mask step one second after the first phase), the game's
// process and handle from the first phase to the final mask (and on while the
// game runs, when that mask leaves out processors the game may use), and the
// options dialog once it has been opened.
class Controller final : public WatchSettings {
 public:
  explicit Controller(Platform& platform);
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;
  ~Controller() override;

  // Startup. Ends the process at once when another copy runs.
  void start();
  // The main window's size or state changed: hidden again when minimized.
  void onWindowResized();
  // Shutdown: runs a pending final-mask step at once, unloads the other
  // windows, removes the tray icon, ends the process.
  void shutDown();
  // The tray menu's commands ("Close Menu" has none: the menu has closed).
  void openOptions();
  void openInfo();
  void exitProgram();

  // The watcher: the poll's tick, and the tick that ends the delay.
  void onPoll();
  void onDelayElapsed();
  // The adjustment: the first phase, and the final-mask step one second later.
  void pinToFirstProcessor(const std::string& image);
  void applyFinalMask();
  // A game is pinned and its final-mask step has not run yet.
  bool finalStepPending() const { return finalStepPending_; }
  // The adjusted game is kept on a final mask narrower than what it may use:
  // each poll that sees it running moves its threads started since onto it.
  bool keepingGameOnMask() const { return keptGame_ != nullptr; }

  // What the options dialog applies.
  const std::string& settingsPath() const override { return settingsPath_; }
  void prepareSettingsFile() override;
  void setWatchedImage(std::string image) override { watchedImage_ = std::move(image); }
  bool onlineAllowed() const override { return onlineAllowed_; }
  void setOnlineAllowed(bool allowed) override { onlineAllowed_ = allowed; }
  void setDelay(std::uint32_t milliseconds) override;
  void setPolling(bool enabled) override;
  const ProcessorSelection& processorSelection() const override { return processorSelection_; }
  void setProcessorSelection(ProcessorSelection selection) override;

  const std::string& watchedImage() const { return watchedImage_; }
  // What config.ini's CPUs chose at startup; a selection saved in the
  // options dialog replaces it with a plain list.
  const ProcessorChoice& processorChoice() const { return processorChoice_; }
  // The watcher has seen the game start (and armed the delay, or adjusted it).
  bool gameRunning() const { return gameRunning_; }
  // The processor count (NUMBER_OF_PROCESSORS) the final mask was last
  // composed over; a final mask made from a selection leaves it as it was.
  std::int16_t processorCount() const { return processorCount_; }
  // The explanation the first phase's next report prints; emptied by every
  // report.
  const std::string& customErrorText() const { return customErrorText_; }
  const Timer& pollTimer() const { return *pollTimer_; }
  const Timer& delayTimer() const { return *delayTimer_; }
  const Timer& finalMaskTimer() const { return *finalMaskTimer_; }
  ErrorLog& log() { return log_; }

 private:
  // A timer whose ticks run `handler`, each guarded as the event `logName`.
  std::unique_ptr<Timer> makeTimer(std::uint32_t interval, bool enabled, std::string_view logName,
                                   void (Controller::*handler)());

  // Sets `mask` on the game; a refusal is reported through `handler`, naming
  // the threads that refused where the rest of the game took it.
  bool setGameAffinity(ProcessHandle& process, std::uint64_t mask, Handler& handler);
  // The poll's part while the adjusted game runs on a narrower final mask:
  // how many threads it moved onto it.
  int keepThreadsOnFinalMask();
  // "NAME (PID n)", as the debug output names the game being adjusted.
  std::string gameText(std::string_view image) const;

  void writeDefaultSettings();
  void appendGameKey();
  void loadSettings(bool fileReadable);
  void loadProcessorChoice(bool fileReadable);

  Platform& platform_;
  ErrorLog log_;
  PresenceQuery presence_;
  std::unique_ptr<Timer> pollTimer_;
  std::unique_ptr<Timer> delayTimer_;
  std::unique_ptr<Timer> finalMaskTimer_;

  std::string watchedImage_;
  bool gameRunning_ = false;
  bool onlineAllowed_ = false;
  ProcessorSelection processorSelection_;
  ProcessorChoice processorChoice_;
  // The processors online at startup, along which "all processors" are
  // counted; 0 when the system could not say.
  std::uint64_t onlineProcessors_ = 0;
  std::string settingsPath_;
  std::string computerName_;
  std::uint64_t polls_ = 0;  // numbers the polls' debug lines

  // The adjustment's state, from the first phase to the final mask; reports
  // print it as it stands.
  std::string customErrorText_;
  std::uint32_t gamePid_ = 0;
  ProcessHandleSlot gameHandle_;
  std::string pinnedImage_;  // the image the first phase pinned, for the beep's line
  // The game's processors as they were before the first phase: what every
  // rescue gives back, so that the game never ends with less than it had.
  std::optional<std::uint64_t> maskAtOpen_;
  // The game is pinned (or the pin was refused) and the final step has not
  // run yet; shutdown runs it rather than leave the game on processor 0.
  bool finalStepPending_ = false;
  BitMaskTable bitMasks_;
  std::int16_t processorCountAtPin_ = 0;
  std::int16_t processorCount_ = 0;
  std::uint64_t finalMask_ = 0;
  // After a final mask that leaves out processors the game may use: the game,
  // until a poll finds it gone, and that mask. Threads it starts later may
  // not get the mask (under Wine they do not).
  std::unique_ptr<ProcessHandle> keptGame_;
  std::uint64_t keptMask_ = 0;

  std::unique_ptr<OptionsDialog> optionsDialog_;  // made on first use
};

}  // namespace tavrolin
