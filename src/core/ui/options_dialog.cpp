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
  // A settings file deleted while the program runs is written anew first, as
  // at startup: read from no file, the delay would be empty, and a delay of 0
  // never ends. Whatever cannot be read as a file then (none could be made, a
  // folder by that name) gives the defaults, as at startup; a hidden file is
  // read as it is.
  Handler(log_, ReportHeading(ui::kOptionsCommandLogName)).run([&] {
    settings_.ensureSettingsFile();
  });
  fileReadable_ = platform_.files.readText(settings_.settingsPath()).has_value();
  // Every opening refills from the file; the processor boxes stay as they are.
  openDelay();
  openOnline();
  openGame();
}

std::string OptionsDialog::readStored(std::string_view key, std::string_view fallback) {
  if (!fileReadable_) return std::string(fallback);
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
  const std::string stored = readStored(kKeyInitializeDelay, "30");
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
  applyDelay(ui::kOptionsCommandLogName, stored);
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

  const int online = window_->onlineState();
  settings_.setOnlineAllowed(online == 1);
  // An empty value is written as shown: kept, it would be reported (or, for
  // the game, repaired) at every start.
  const bool keepOnline = !onlineShowable_ && !storedOnline_.empty() && online == shownOnline_;
  IniWrite(platform_.profile, section, std::string(kKeyOnlineEnabled),
           keepOnline ? storedOnline_ : std::to_string(online), path);

  settings_.setPolling(true);

  const int game = window_->selectedGame();
  const bool keepGame = !gameShowable_ && !storedGame_.empty() && game == shownGame_;
  IniWrite(platform_.profile, section, std::string(kKeyGame),
           keepGame ? storedGame_ : std::to_string(game), path);

  const int delayIndex = window_->selectedDelay();
  const std::string delay = delayIndex >= 0 && delayIndex < static_cast<int>(delays_.size())
                                ? delays_[static_cast<std::size_t>(delayIndex)]
                                : std::string();
  IniWrite(platform_.profile, section, std::string(kKeyInitializeDelay), delay, path);
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
  IniWrite(platform_.profile, section, std::string(kKeyProcessors),
           allTicked ? "All" : DescribeMask(ticked), path);
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
