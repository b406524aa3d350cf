#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tavrolin {

// What the options dialog's window tells its logic.
class OptionsEvents {
 public:
  // What ErrorLog.txt calls these events ("Error occurred in Command1_Click"):
  // the names users' logs have always shown.
  static constexpr std::string_view kGamePickedLogName = "Combo1_Click";
  static constexpr std::string_view kSaveLogName = "Command1_Click";
  static constexpr std::string_view kUnloadLogName = "Form_Unload";

  virtual ~OptionsEvents() = default;
  virtual void onGamePicked() = 0;  // the user picked a game
  virtual void onSave() = 0;        // "Close and Save"
  virtual void onUnload() = 0;      // the window is going (closed by the user, or unloaded)
};

// A processor box: left, top, width, height in twips inside the frame.
struct BoxPlacement {
  int left = 0;
  int top = 0;
  int width = 855;
  int height = 195;
  std::string caption;
};

// The options dialog's window and its controls. Sizes and places are twips;
// the window converts them at the screen's real resolution. Setting a control
// from here raises no event.
class OptionsWindow {
 public:
  virtual ~OptionsWindow() = default;

  // Creates the window hidden, with its design-time controls. False on failure.
  virtual bool create() = 0;
  virtual bool exists() const = 0;
  // Destroys the window with all its controls, processor boxes included. It
  // raises onUnload() first.
  virtual void destroy() = 0;
  virtual void show() = 0;  // modeless; to the front when shown already
  virtual void hide() = 0;
  virtual bool visible() const = 0;

  virtual void setGames(std::span<const std::string> games) = 0;
  virtual void selectGame(int index) = 0;  // -1: none
  virtual int selectedGame() const = 0;
  virtual void setDelays(std::span<const std::string> delays, int selected) = 0;
  virtual int selectedDelay() const = 0;
  // 0 unchecked, 1 checked, 2 greyed. The user's clicks tick and untick it;
  // only this call greys it.
  virtual void setOnlineState(int state) = 0;
  virtual int onlineState() const = 0;
  virtual bool autoStartChecked() const = 0;  // the hidden "Auto initialize" box

  // Processor box `index` (1-based), made from the hidden template, shown and
  // checked. False when it cannot be made.
  virtual bool addProcessorBox(int index, const BoxPlacement& placement) = 0;
  virtual int processorBoxCount() const = 0;
  virtual bool processorBoxChecked(int index) const = 0;
  virtual void setProcessorBoxChecked(int index, bool checked) = 0;

  // The frame's size, and the dialog's outer width and client height; the
  // controls below the frame keep their distance to its bottom.
  virtual void setFrameSize(int width, int height) = 0;
  virtual void setDialogSize(int outerWidth, int clientHeight) = 0;

  // A modal box with the warning icon and one OK button.
  virtual void showWarning(const std::string& text, const std::string& title) = 0;
};

// The toolkit's other windows.
class WindowFactory {
 public:
  virtual ~WindowFactory() = default;
  // nullptr where the platform has no such window (the console).
  virtual std::unique_ptr<OptionsWindow> createOptionsWindow(OptionsEvents& events) = 0;
  // Shows the info window modeless, creating it when it is not loaded.
  virtual void showInfoWindow() = 0;
};

}  // namespace tavrolin
