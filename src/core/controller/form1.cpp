#include "controller/form1.h"

#include "config/ini_read_write.h"
#include "config/settings.h"

namespace tavrolin {

Form1::Form1(Platform& platform)
    : platform_(platform),
      log_(platform.environment, platform.files, platform.clock, platform.lastError),
      presence_(platform.processNames, platform.processList, log_) {
  Timer1 = makeTimer(1000, false, "Timer1_Timer", &Form1::Timer1_Timer);
  Timer3 = makeTimer(10000, true, "Timer3_Timer", &Form1::Timer3_Timer);
  Timer4 = makeTimer(15000, false, "Timer4_Timer", &Form1::Timer4_Timer);
}

Form1::~Form1() = default;

std::unique_ptr<Timer> Form1::makeTimer(std::uint32_t interval, bool enabled, const char* event,
                                        void (Form1::*handler)()) {
  auto timer = platform_.timers.createTimer(
      [this, event, handler] { GuardEvent(log_, event, [this, handler] { (this->*handler)(); }); });
  timer->setInterval(interval);
  timer->setEnabled(enabled);
  return timer;
}

std::string Form1::settingsPathFor(std::string_view fileName) const {
  return platform_.environment.executableDirectory() + platform_.environment.pathSeparator() +
         std::string(fileName);
}

bool Form1::FileExist(const std::string& parmPath) const {
  return platform_.files.isPlainFile(parmPath);
}

void Form1::WriteDefaultConfig() {
  const bool written = platform_.files.writeText(settingsPathFor(kSettingsFileName),
                                                 OpenMode::kFromStart, kDefaultConfig);
  log_.recordLastError();
  if (!written) throw Failure(FailureNumber::kFileAccess);
}

void Form1::RepairGame() {
  // Appended at the end: the line joins whatever section ends the file. A last
  // line without its line break gets one first, so that the repair never runs
  // into (and spoils) the value standing there.
  const std::string path = settingsPathFor(kSettingsFileName);
  const std::optional<std::string> text = platform_.files.readText(path);
  const bool needsBreak = text && !text->empty() && text->back() != '\n';
  const bool written = platform_.files.writeText(path, OpenMode::kAppend,
                                                 needsBreak ? "\r\nGame=0\r\n" : "Game=0\r\n");
  log_.recordLastError();
  if (!written) throw Failure(FailureNumber::kFileAccess);
}

void Form1::Form_Load() {
  // Every step runs even when one before it failed (the failure is reported):
  // a program that stopped half-way through startup would sit without a tray
  // icon, out of the user's reach.
  Handler handler(log_, "Error occurred in Form_Load");

  strProfileProcess = std::string(kSupremeCommander);
  IniPath = settingsPathFor(kSettingsFileName);

  bool fileReadable = true;
  handler.run([&] {
    if (!FileExist(IniPath)) {
      fileReadable = false;
      WriteDefaultConfig();
      fileReadable = true;
    }
  });
  loadSettings(fileReadable);

  handler.run([&] { ComputerName = LocalComputerName(platform_.environment, log_); });

  if (platform_.environment.anotherInstanceRunning()) {
    platform_.environment.endProcess(0);
    return;
  }
  handler.run([&] { platform_.tray.add(); });
  handler.run([&] { platform_.window.hide(); });
  // Nothing more: the main window is never in the task list to begin with.
}

void Form1::loadSettings(bool fileReadable) {
  const std::string section(kSection);
  // A settings file that could not be written holds nothing to read: the
  // defaults it would have held apply.
  const auto read = [&](std::string_view key, std::string_view fallback) {
    return fileReadable ? IniRead(platform_.profile, section, std::string(key), IniPath)
                        : std::string(fallback);
  };

  const std::string delay = read(kKeyInitializeDelay, "30");
  ApplySetting(
      log_, "Form_Load", kKeyInitializeDelay, delay,
      [&] { Timer4->setInterval(static_cast<std::uint32_t>(DelayInterval(delay))); },
      [&] { Timer4->setInterval(kDefaultDelayMilliseconds); });

  const std::string online = read(kKeyOnlineEnabled, "1");
  ApplySetting(
      log_, "Form_Load", kKeyOnlineEnabled, online,
      [&] { ApplyOnlineEnabled(online, OnlineAllowed); }, [] {});

  const std::string game = read(kKeyGame, "0");
  if (game.empty()) {
    Handler(log_, "Error occurred in Form_Load").run([&] { RepairGame(); });
    return;  // the game stays the default for this run
  }
  ApplySetting(
      log_, "Form_Load", kKeyGame, game,
      [&] { strProfileProcess = std::string(GameForIndex(game)); }, [] {});
}

void Form1::Form_Resize() {
  if (platform_.window.isMinimized()) platform_.window.hide();
}

void Form1::Form_Unload() {
  if (form3_) form3_->Unload();
  platform_.window.unloadOtherWindows();
  platform_.tray.remove();
  platform_.environment.endProcess(0);
}

void Form1::mnuOptions_Click() {
  if (!form3_) form3_ = std::make_unique<Form3>(*this, platform_.windows);
  form3_->Open();
}

void Form1::mnuInfo_Click() {
  platform_.windows.showInfoWindow();
}

void Form1::mnuExit_Click() {
  Form_Unload();
}

}  // namespace tavrolin
