#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/options_window.h"

namespace tavrolin::fakes {

// The options dialog's window without a window: it keeps what it was told and
// lets a test play the user.
class FakeOptionsWindow final : public OptionsWindow {
 public:
  explicit FakeOptionsWindow(OptionsEvents& events) : events_(&events) {}

  bool create() override {
    exists_ = true;
    ++creates;
    return true;
  }
  bool exists() const override { return exists_; }
  void destroy() override {
    events_->onUnload();
    exists_ = false;
    visible_ = false;
    boxes.clear();
  }
  void show() override { visible_ = true; }
  void hide() override { visible_ = false; }
  bool visible() const override { return visible_; }

  void setGames(std::span<const std::string> list) override {
    games.assign(list.begin(), list.end());
  }
  void selectGame(int index) override { game = index; }
  int selectedGame() const override { return game; }
  void setDelays(std::span<const std::string> list, int selected) override {
    delays.assign(list.begin(), list.end());
    delay = selected;
  }
  int selectedDelay() const override { return delay; }
  void setOnlineState(int state) override { online = state; }
  int onlineState() const override { return online; }
  bool autoStartChecked() const override { return autoStart; }

  bool addProcessorBox(int index, const BoxPlacement& placement) override {
    if (failBox == index) return false;
    boxes.push_back({index, placement, true});
    return true;
  }
  int processorBoxCount() const override { return static_cast<int>(boxes.size()); }
  bool processorBoxChecked(int index) const override {
    return boxes.at(static_cast<std::size_t>(index - 1)).checked;
  }
  void setProcessorBoxChecked(int index, bool checked) override {
    boxes.at(static_cast<std::size_t>(index - 1)).checked = checked;
  }
  void setFrameSize(int width, int height) override {
    frameWidth = width;
    frameHeight = height;
  }
  void setDialogSize(int outerWidth, int clientHeight) override {
    dialogWidth = outerWidth;
    dialogHeight = clientHeight;
  }
  void showWarning(const std::string& text, const std::string& title) override {
    warnings.push_back(title + "|" + text);
    if (onWarning) onWarning();
  }

  // The user's side.
  void userPicksGame(int index) {
    game = index;
    events_->onGamePicked();
  }
  void userSaves() { events_->onSave(); }

  struct Box {
    int index;
    BoxPlacement placement;
    bool checked;
  };
  std::vector<std::string> games, delays, warnings;
  std::vector<Box> boxes;
  int game = -1, delay = -1, online = 0;
  bool autoStart = true;
  int frameWidth = 0, frameHeight = 0, dialogWidth = 0, dialogHeight = 0;
  int creates = 0;
  int failBox = -1;
  std::function<void()> onWarning;

 private:
  OptionsEvents* events_;
  bool exists_ = false;
  bool visible_ = false;
};

// The toolkit's other windows: options windows a test can reach, and a count
// of info-window showings.
class FakeWindows final : public WindowFactory {
 public:
  std::unique_ptr<OptionsWindow> createOptionsWindow(OptionsEvents& events) override {
    if (noOptionsWindow) return nullptr;
    auto window = std::make_unique<FakeOptionsWindow>(events);
    window->failBox = failBox;
    lastOptions = window.get();
    return window;
  }
  void showInfoWindow() override { ++infoShown; }

  FakeOptionsWindow* lastOptions = nullptr;  // owned by the dialog
  bool noOptionsWindow = false;
  int failBox = -1;  // the box that new windows cannot make
  int infoShown = 0;
};

}  // namespace tavrolin::fakes
