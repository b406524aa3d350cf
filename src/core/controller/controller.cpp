#include "controller/controller.h"

#include "config/ini_read_write.h"
#include "config/settings.h"
#include "ui/options_dialog.h"

namespace tavrolin {

Controller::Controller(Platform& platform)
    : platform_(platform),
      log_(platform.environment, platform.files, platform.clock, platform.lastError),
      presence_(platform.processNames, platform.processList, log_) {
  finalMaskTimer_ = makeTimer(1000, false, kFinalMaskLogName, &Controller::applyFinalMask);
  pollTimer_ = makeTimer(10000, true, kPollLogName, &Controller::onPoll);
  delayTimer_ = makeTimer(15000, false, kDelayElapsedLogName, &Controller::onDelayElapsed);
}

Controller::~Controller() = default;

std::unique_ptr<Timer> Controller::makeTimer(std::uint32_t interval, bool enabled,
                                             std::string_view logName,
                                             void (Controller::*handler)()) {
  auto timer = platform_.timers.createTimer([this, logName, handler] {
    GuardEvent(log_, logName, [this, handler] { (this->*handler)(); });
  });
  timer->setInterval(interval);
  timer->setEnabled(enabled);
  return timer;
}

void Controller::setDelay(std::uint32_t milliseconds) {
  delayTimer_->setInterval(milliseconds);
}

void Controller::setPolling(bool enabled) {
  pollTimer_->setEnabled(enabled);
}

void Controller::setProcessorSelection(ProcessorSelection selection) {
  processorSelection_ = std::move(selection);
  processorChoice_ = {};  // ticked boxes: no preset any more
}

void Controller::writeDefaultSettings() {
  // Created only where nothing stands: whatever the plain-file test may have
  // missed is never emptied.
  const bool written =
      platform_.files.writeText(settingsPath_, OpenMode::kCreateNew, kDefaultConfig);
  log_.recordLastError();
  if (!written) throw Failure(FailureNumber::kFileAccess);
}

void Controller::prepareSettingsFile() {
  // The defaults are written only where no file stands. Anything else by that
  // name (a directory, a pipe, a device, a file the system cannot tell about,
  // one far too large) is left exactly as it is.
  const FileStatus status = platform_.files.status(settingsPath_);
  log_.recordLastError();
  switch (status.kind) {
    case FileStatus::kPlainFile:
      if (status.size > kMaxSettingsBytes) throw Failure(FailureNumber::kSettingsTooLarge);
      return;
    case FileStatus::kNotFound:
      writeDefaultSettings();
      return;
    case FileStatus::kOther:
      throw Failure(FailureNumber::kSettingsNotPlainFile);
  }
}

void Controller::appendGameKey() {
  // Appended at the end: the line joins whatever section ends the file. A last
  // line without its line break gets one first, so that the repair never runs
  // into (and spoils) the value standing there.
  const std::optional<std::string> text = platform_.files.readText(settingsPath_);
  const bool needsBreak = text && !text->empty() && text->back() != '\n';
  const bool written = platform_.files.writeText(settingsPath_, OpenMode::kAppend,
                                                 needsBreak ? "\r\nGame=0\r\n" : "Game=0\r\n");
  log_.recordLastError();
  if (!written) throw Failure(FailureNumber::kFileAccess);
}

void Controller::start() {
  // Every step runs even when one before it failed (the failure is reported):
  // a program that stopped half-way through startup would sit without a tray
  // icon, out of the user's reach.
  Handler handler(log_, ReportHeading(kStartupLogName));

  watchedImage_ = std::string(kSupremeCommander);
  settingsPath_ = platform_.environment.settingsDirectory() +
                  platform_.environment.pathSeparator() + std::string(kSettingsFileName);

  // A settings file that is not to be used gets one report, and this run uses
  // the defaults.
  const bool fileReadable = handler.run([&] { prepareSettingsFile(); });
  loadSettings(fileReadable);
  loadProcessorChoice(fileReadable);

  handler.run([&] { computerName_ = LocalComputerName(platform_.environment, log_); });

  if (platform_.environment.anotherInstanceRunning()) {
    platform_.environment.endProcess(0);
    return;
  }
  handler.run([&] { platform_.tray.add(); });
  handler.run([&] { platform_.window.hide(); });
  // Nothing more: the main window is never in the task list to begin with.
}

void Controller::loadSettings(bool fileReadable) {
  const std::string section(kSection);
  // A settings file that could not be written, or may not be read, gives
  // nothing: the defaults apply. So does a read that fails.
  const auto read = [&](std::string_view key, std::string_view fallback) {
    std::string value(fallback);
    if (fileReadable) {
      Handler(log_, ReportHeading(kStartupLogName)).run([&] {
        value = IniRead(platform_.profile, section, std::string(key), settingsPath_);
      });
    }
    return value;
  };

  const std::string delay = read(kKeyInitializeDelay, "30");
  ApplySetting(
      log_, kStartupLogName, kKeyInitializeDelay, delay,
      [&] { setDelay(static_cast<std::uint32_t>(DelayInterval(delay))); },
      [&] { setDelay(kDefaultDelayMilliseconds); });

  const std::string online = read(kKeyOnlineEnabled, "1");
  ApplySetting(
      log_, kStartupLogName, kKeyOnlineEnabled, online,
      [&] { ApplyOnlineEnabled(online, onlineAllowed_); }, [] {});

  const std::string game = read(kKeyGame, "0");
  if (game.empty()) {
    Handler(log_, ReportHeading(kStartupLogName)).run([&] { appendGameKey(); });
    return;  // the game stays the default for this run
  }
  ApplySetting(
      log_, kStartupLogName, kKeyGame, game,
      [&] { watchedImage_ = std::string(GameForIndex(game)); }, [] {});
}

void Controller::loadProcessorChoice(bool fileReadable) {
  std::string text;
  if (fileReadable) {
    Handler(log_, ReportHeading(kStartupLogName)).run([&] {
      text = IniRead(platform_.profile, std::string(kSection), std::string(kKeyProcessors),
                     settingsPath_);
    });
  }
  const ProcessorTopology topology = platform_.topology.describe();
  log_.recordLastError();
  onlineProcessors_ = topology.online;
  processorChoice_ = ReadProcessorChoice(log_, kStartupLogName, text, topology);
  if (processorChoice_.processors != 0) {
    processorSelection_ = SelectionOf(processorChoice_.processors);
  }
}

void Controller::onWindowResized() {
  if (platform_.window.isMinimized()) platform_.window.hide();
}

void Controller::shutDown() {
  // Ending between the two phases must not leave the game on processor 0.
  if (finalStepPending_) {
    GuardEvent(log_, kFinalMaskLogName, [this] { applyFinalMask(); });
  }
  if (optionsDialog_) optionsDialog_->unload();
  platform_.window.unloadOtherWindows();
  platform_.tray.remove();
  platform_.environment.endProcess(0);
}

void Controller::openOptions() {
  if (!optionsDialog_) optionsDialog_ = std::make_unique<OptionsDialog>(*this, platform_, log_);
  optionsDialog_->open();
}

void Controller::openInfo() {
  platform_.windows.showInfoWindow();
}

void Controller::exitProgram() {
  shutDown();
}

}  // namespace tavrolin
