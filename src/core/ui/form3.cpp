#include "ui/form3.h"

#include <algorithm>

#include "config/ini_read_write.h"
#include "config/settings.h"
#include "controller/form1.h"
#include "ui/options_layout.h"

namespace tavrolin {

namespace {
constexpr const char* kDelayChoices[] = {"20", "30", "60"};

std::string KeyOf(int box) {
  return std::to_string(box) + "key";
}
}  // namespace

Form3::Form3(Form1& controller, WindowFactory& windows)
    : form1_(controller), window_(windows.createOptionsWindow(*this)) {
  if (!window_) throw Failure(FailureNumber::kInvalidPropertyValue);
}

void Form3::Open() {
  if (!window_->exists()) {
    if (!window_->create()) throw Failure(FailureNumber::kInvalidPropertyValue);
    Form_Load();
  }
  window_->show();
  // Every opening refills from the file; the processor boxes stay as they are.
  openDelay();
  openOnline();
  openGame();
}

void Form3::openDelay() {
  const std::string stored = IniRead(form1_.platform().profile, std::string(kSection),
                                     std::string(kKeyInitializeDelay), form1_.IniPath);
  delays_.assign(std::begin(kDelayChoices), std::end(kDelayChoices));
  auto found = std::find(delays_.begin(), delays_.end(), stored);
  // A hand-edited delay the list does not offer is shown as one more entry, so
  // that saving without touching the list writes it back unchanged.
  if (found == delays_.end() && !stored.empty()) {
    delays_.push_back(stored);
    found = delays_.end() - 1;
  }
  const int selected = found == delays_.end() ? -1 : static_cast<int>(found - delays_.begin());
  window_->setDelays(delays_, selected);
  ApplySetting(
      form1_.log(), "mnuOptions_Click", kKeyInitializeDelay, stored,
      [&] { form1_.Timer4->setInterval(static_cast<std::uint32_t>(DelayInterval(stored))); },
      [&] { form1_.Timer4->setInterval(kDefaultDelayMilliseconds); });
}

void Form3::openOnline() {
  storedOnline_ = IniRead(form1_.platform().profile, std::string(kSection),
                          std::string(kKeyOnlineEnabled), form1_.IniPath);
  ApplySetting(
      form1_.log(), "mnuOptions_Click", kKeyOnlineEnabled, storedOnline_,
      [&] { ApplyOnlineEnabled(storedOnline_, form1_.OnlineAllowed); }, [] {});
  // Numbers the box cannot show act like its greyed state (the flag is left
  // as it was), so it shows greyed.
  int state = 2;
  onlineShowable_ = false;
  try {
    const std::int16_t value = ToInteger16(storedOnline_);
    if (value >= 0 && value <= 2) {
      state = value;
      onlineShowable_ = true;
    }
  } catch (const Failure&) {
    // Reported by ApplySetting above.
  }
  shownOnline_ = state;
  window_->setOnlineState(state);
}

void Form3::openGame() {
  storedGame_ = IniRead(form1_.platform().profile, std::string(kSection), std::string(kKeyGame),
                        form1_.IniPath);
  // Like startup: 1 is the second game, anything else the first.
  int index = 0;
  gameShowable_ = false;
  const auto read = [&] {
    const std::int16_t value = ToInteger16(storedGame_);
    gameShowable_ = value == 0 || value == 1;
    if (value == 1) index = 1;
  };
  if (storedGame_.empty()) {
    gameShowable_ = false;
  } else {
    ApplySetting(form1_.log(), "mnuOptions_Click", kKeyGame, storedGame_, read, [] {});
  }
  shownGame_ = index;
  window_->selectGame(index);
  Combo1_Click();
}

void Form3::Form_Load() {
  FillGameList();
  window_->setDelays(std::vector<std::string>(std::begin(kDelayChoices), std::end(kDelayChoices)),
                     -1);
  Handler handler(form1_.log(), "Error occurred in Options Load");
  handler.run([&] { GetCores(); });
}

void Form3::FillGameList() {
  games_ = {std::string(kSupremeCommander), std::string(kForgedAlliance)};
  window_->setGames(games_);
  window_->selectGame(0);
  Combo1_Click();
}

void Form3::GetCores() {
  std::string numproc;
  int iLoop = 0;
  Handler handler(form1_.log(), "Error occurred in GetCores");
  handler.variables([&] {
    return ReportVariables{{"numproc =", numproc},
                           {"chkArray =", std::to_string(window_->processorBoxCount() + 1)},
                           {"iLoop =", std::to_string(iLoop)}};
  });

  numproc = ProcessorCount(form1_.platform().environment);
  int count = 0;
  handler.run([&] { count = ToInteger16(numproc); });
  if (count > static_cast<int>(kMaskBits)) {
    handler.report(Failure(FailureNumber::kBeyondMaskWidth));
    count = static_cast<int>(kMaskBits);
  }
  const OptionsLayout layout = ProcessorBoxLayout(count);
  for (iLoop = 1; iLoop <= count; ++iLoop) {
    handler.run([&] {
      if (!window_->addProcessorBox(iLoop, layout.boxes[static_cast<std::size_t>(iLoop - 1)])) {
        throw Failure(FailureNumber::kInvalidPropertyValue);
      }
    });
  }
  window_->setFrameSize(layout.frameWidth, layout.frameHeight);
  window_->setDialogSize(layout.dialogOuterWidth, layout.dialogClientHeight);
}

void Form3::Combo1_Click() {
  const int index = window_->selectedGame();
  if (index < 0 || index >= static_cast<int>(games_.size())) return;
  form1_.strProfileProcess = games_[static_cast<std::size_t>(index)];
}

void Form3::Command1_Click() {
  Platform& platform = form1_.platform();
  const std::string section(kSection);

  const int online = window_->onlineState();
  form1_.OnlineAllowed = online == 1;
  const bool keepOnline = !onlineShowable_ && online == shownOnline_;
  IniWrite(platform.profile, section, std::string(kKeyOnlineEnabled),
           keepOnline ? storedOnline_ : std::to_string(online), form1_.IniPath);

  form1_.Timer3->setEnabled(true);

  const int game = window_->selectedGame();
  const bool keepGame = !gameShowable_ && game == shownGame_;
  IniWrite(platform.profile, section, std::string(kKeyGame),
           keepGame ? storedGame_ : std::to_string(game), form1_.IniPath);

  const int delayIndex = window_->selectedDelay();
  const std::string delay = delayIndex >= 0 && delayIndex < static_cast<int>(delays_.size())
                                ? delays_[static_cast<std::size_t>(delayIndex)]
                                : std::string();
  IniWrite(platform.profile, section, std::string(kKeyInitializeDelay), delay, form1_.IniPath);
  ApplySetting(
      form1_.log(), "Command1_Click", kKeyInitializeDelay, delay,
      [&] { form1_.Timer4->setInterval(static_cast<std::uint32_t>(DelayInterval(delay))); },
      [&] { form1_.Timer4->setInterval(kDefaultDelayMilliseconds); });

  // The selection, one item per box in box order.
  const int boxes = window_->processorBoxCount();
  bool anyChecked = false;
  form1_.CustomProc.clear();
  for (int box = 1; box <= boxes; ++box) {
    const bool checked = window_->processorBoxChecked(box);
    form1_.CustomProc.add(checked ? "True" : "False", KeyOf(box));
    anyChecked = anyChecked || checked;
  }
  // No boxes at all (the processor count could not be read) leaves the
  // selection empty: all processors.
  if (!anyChecked && boxes > 0) {
    form1_.CustomProc.remove(KeyOf(boxes));
    form1_.CustomProc.add("True", KeyOf(boxes));
    window_->setProcessorBoxChecked(boxes, true);
    window_->showWarning(kWarning, "Tavrolin");
  }
  window_->hide();
}

void Form3::Form_Unload() {
  form1_.Timer3->setEnabled(window_->autoStartChecked());
}

void Form3::Unload() {
  if (window_->exists()) window_->destroy();
}

}  // namespace tavrolin
