#include "ui/options_dialog.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "affinity/bit_masks.h"
#include "config/ini_read_write.h"
#include "config/settings.h"
#include "ui/options_layout.h"
#include "ui/tray_menu.h"

namespace tavrolin {

namespace {
constexpr const char* kDelayChoices[] = {"20", "30", "60"};

// What ErrorLog.txt calls the dialog's loading and its making of the
// processor boxes, and the names of the boxes' report's variable lines.
constexpr std::string_view kLoadLogName = "Options Load";
constexpr std::string_view kProcessorBoxesLogName = "GetCores";
constexpr std::string_view kCountVariable = "numproc =";
constexpr std::string_view kBoxesVariable = "chkArray =";
constexpr std::string_view kBoxVariable = "iLoop =";

std::string KeyOf(int box) {
  return std::to_string(box) + "key";
}
}  // namespace

OptionsDialog::OptionsDialog(WatchSettings& settings, Platform& platform, ErrorLog& log)
    : settings_(settings),
      platform_(platform),
      log_(log),
      window_(platform.windows.createOptionsWindow(*this)) {
  if (!window_) throw Failure(FailureNumber::kInvalidPropertyValue);
}

void OptionsDialog::open() {
  if (!window_->exists()) {
    if (!window_->create()) throw Failure(FailureNumber::kInvalidPropertyValue);
    load();
  }
  window_->show();
  // The file is taken as startup takes it: one deleted while the program runs
  // is written anew first, and one that startup would refuse (a folder by that
  // name, a hidden file, one too large) gives the defaults and is never
  // written into.
  fileUsable_ = Handler(log_, ReportHeading(ui::kOptionsCommandLogName)).run([&] {
    settings_.prepareSettingsFile();
  });
  // Every opening refills from the file; the processor boxes stay as they are.
  openDelay();
  openOnline();
  openGame();
}

std::string OptionsDialog::readStored(std::string_view key, std::string_view fallback) {
  if (!fileUsable_) return std::string(fallback);
  return IniRead(platform_.profile, std::string(kSection), std::string(key),
                 settings_.settingsPath());
}

void OptionsDialog::applyDelay(std::string_view logName, const std::string& delay) {
  ApplySetting(
      log_, logName, kKeyInitializeDelay, delay,
      [&] { settings_.setDelay(static_cast<std::uint32_t>(DelayInterval(delay))); },
      [&] { settings_.setDelay(kDefaultDelayMilliseconds); });
}

void OptionsDialog::openDelay() {
  storedDelay_ = readStored(kKeyInitializeDelay, "30");
  delays_.assign(std::begin(kDelayChoices), std::end(kDelayChoices));
  // A hand-edited delay the list does not offer (0, 45, text) is shown as one
  // more entry, so that saving without touching the list writes it back
  // unchanged. An empty or missing one shows the default it means, and an
  // untouched save leaves the key as it is.
  const std::string shown = storedDelay_.empty() ? "30" : storedDelay_;
  auto found = std::find(delays_.begin(), delays_.end(), shown);
  if (found == delays_.end()) {
    delays_.push_back(shown);
    found = delays_.end() - 1;
  }
  shownDelay_ = static_cast<int>(found - delays_.begin());
  window_->setDelays(delays_, shownDelay_);
  applyDelay(ui::kOptionsCommandLogName, storedDelay_);
}

void OptionsDialog::openOnline() {
  storedOnline_ = readStored(kKeyOnlineEnabled, "1");
  ApplySetting(
      log_, ui::kOptionsCommandLogName, kKeyOnlineEnabled, storedOnline_,
      [&] {
        bool allowed = settings_.onlineAllowed();
        ApplyOnlineEnabled(storedOnline_, allowed);
        settings_.setOnlineAllowed(allowed);
      },
      [] {});
  // Numbers the box cannot show act like its greyed state (the flag is left
  // as it was), so it shows greyed. An empty or missing value, which startup
  // reads as online play not allowed, shows unticked.
  int state = storedOnline_.empty() ? 0 : 2;
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

void OptionsDialog::openGame() {
  storedGame_ = readStored(kKeyGame, "0");
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
    ApplySetting(log_, ui::kOptionsCommandLogName, kKeyGame, storedGame_, read, [] {});
  }
  shownGame_ = index;
  window_->selectGame(index);
  onGamePicked();
}

void OptionsDialog::load() {
  fillGameList();
  window_->setDelays(std::vector<std::string>(std::begin(kDelayChoices), std::end(kDelayChoices)),
                     -1);
  Handler handler(log_, ReportHeading(kLoadLogName));
  handler.run([&] { addProcessorBoxes(); });
  showSelection();
}

void OptionsDialog::showSelection() {
  // Loaded (again, after its close button), the boxes show the selection in
  // force: none (All) ticks every box; a processor past the selection's
  // last item is not in it.
  const ProcessorSelection& selection = settings_.processorSelection();
  const int boxes = window_->processorBoxCount();
  for (int box = 1; box <= boxes && selection.count() > 0; ++box) {
    const auto position = static_cast<std::size_t>(box);
    window_->setProcessorBoxChecked(
        box, position <= selection.count() && selection.item(position) == "True");
  }
  shownBoxes_ = tickedBoxes();
}

std::vector<bool> OptionsDialog::tickedBoxes() const {
  std::vector<bool> ticked;
  for (int box = 1; box <= window_->processorBoxCount(); ++box) {
    ticked.push_back(window_->processorBoxChecked(box));
  }
  return ticked;
}

void OptionsDialog::fillGameList() {
  games_ = {std::string(kSupremeCommander), std::string(kForgedAlliance)};
  window_->setGames(games_);
  window_->selectGame(0);
  onGamePicked();
}

void OptionsDialog::addProcessorBoxes() {
  std::string countText;
  int box = 0;
  Handler handler(log_, ReportHeading(kProcessorBoxesLogName));
  handler.variables([&] {
    return ReportVariables{{kCountVariable, countText},
                           {kBoxesVariable, std::to_string(window_->processorBoxCount() + 1)},
                           {kBoxVariable, std::to_string(box)}};
  });

  countText = ProcessorCount(platform_.environment);
  int count = 0;
  handler.run([&] { count = ToInteger16(countText); });
  if (count > static_cast<int>(kMaskBits)) {
    handler.report(Failure(FailureNumber::kBeyondMaskWidth));
    count = static_cast<int>(kMaskBits);
  }
  const OptionsLayout layout = ProcessorBoxLayout(count);
  for (box = 1; box <= count; ++box) {
    handler.run([&] {
      if (!window_->addProcessorBox(box, layout.boxes[static_cast<std::size_t>(box - 1)])) {
        throw Failure(FailureNumber::kInvalidPropertyValue);
      }
    });
  }
  window_->setFrameSize(layout.frameWidth, layout.frameHeight);
  window_->setDialogSize(layout.dialogOuterWidth, layout.dialogClientHeight);
}

void OptionsDialog::onGamePicked() {
  const int index = window_->selectedGame();
  if (index < 0 || index >= static_cast<int>(games_.size())) return;
  settings_.setWatchedImage(games_[static_cast<std::size_t>(index)]);
}

void OptionsDialog::onSave() {
  const std::string section(kSection);
  const std::string& path = settings_.settingsPath();

  // A file that is not to be used is never written into; what the user chose
  // still counts for this run.
  const auto write = [&](std::string_view key, const std::string& value) {
    if (fileUsable_) IniWrite(platform_.profile, section, std::string(key), value, path);
  };

  const int online = window_->onlineState();
  settings_.setOnlineAllowed(online == 1);
  // Untouched, a value the box cannot show is written back as it was, and an
  // empty or missing one is left as it is.
  if (online != shownOnline_ || !storedOnline_.empty()) {
    const bool keepOnline = !onlineShowable_ && online == shownOnline_;
    write(kKeyOnlineEnabled, keepOnline ? storedOnline_ : std::to_string(online));
  }

  settings_.setPolling(true);

  // An empty game is written as shown: kept, it would be repaired at every
  // start.
  const int game = window_->selectedGame();
  const bool keepGame = !gameShowable_ && !storedGame_.empty() && game == shownGame_;
  write(kKeyGame, keepGame ? storedGame_ : std::to_string(game));

  const int delayIndex = window_->selectedDelay();
  const std::string delay = delayIndex >= 0 && delayIndex < static_cast<int>(delays_.size())
                                ? delays_[static_cast<std::size_t>(delayIndex)]
                                : std::string();
  if (delayIndex != shownDelay_ || !storedDelay_.empty()) write(kKeyInitializeDelay, delay);
  applyDelay(kSaveLogName, delay);

  // Boxes as they were shown keep the choice in force and the CPUs value as
  // it stands, so that a preset stays a preset (and a file without the key
  // gets none). Changed, they are the choice: the ticked list, one item per
  // box in box order.
  if (tickedBoxes() == shownBoxes_) {
    window_->hide();
    return;
  }
  const int boxes = window_->processorBoxCount();
  ProcessorSelection selection;
  std::uint64_t ticked = 0;
  for (int box = 1; box <= boxes; ++box) {
    const bool checked = window_->processorBoxChecked(box);
    selection.add(checked ? "True" : "False", KeyOf(box));
    if (checked) ticked |= std::uint64_t{1} << (box - 1);
  }
  const bool noneTicked = ticked == 0;
  if (noneTicked) {
    selection.remove(KeyOf(boxes));
    selection.add("True", KeyOf(boxes));
    ticked = std::uint64_t{1} << (boxes - 1);
  }
  settings_.setProcessorSelection(std::move(selection));
  const bool allTicked = std::popcount(ticked) == boxes;
  write(kKeyProcessors, allTicked ? "All" : DescribeMask(ticked));
  if (noneTicked) {
    window_->setProcessorBoxChecked(boxes, true);
    window_->showWarning(kWarning, "Tavrolin");
  }
  shownBoxes_ = tickedBoxes();
  window_->hide();
}

void OptionsDialog::onUnload() {
  settings_.setPolling(window_->autoStartChecked());
}

void OptionsDialog::unload() {
  if (window_->exists()) window_->destroy();
}

}  // namespace tavrolin
