#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/options_window.h"

namespace tavrolin {

class Form1;

// The options dialog's logic: the game, the delay, online play and the
// processor boxes. Created on first use; hiding keeps its window and boxes,
// unloading destroys them.
class Form3 final : public OptionsEvents {
 public:
  // Its window comes from the toolkit; a Failure when there is none.
  Form3(Form1& controller, WindowFactory& windows);

  // The tray's "   Options": shows the dialog (loading it first when it is not
  // loaded), then fills the lists and the online box from the settings file
  // and applies the delay, the online flag and the game at once.
  void Open();
  // Unloads the window if it is loaded (at program exit).
  void Unload();
  bool loaded() const { return window_->exists(); }

  void Combo1_Click() override;
  void Command1_Click() override;
  void Form_Unload() override;

  static constexpr const char* kWarning =
      "You should use atleast one processor!\r\n\r\nLast processor enabled.";

 private:
  void Form_Load();
  void FillGameList();
  void GetCores();

  void openDelay();
  void openOnline();
  void openGame();

  Form1& form1_;
  std::unique_ptr<OptionsWindow> window_;
  std::vector<std::string> games_;
  std::vector<std::string> delays_;
  // Stored values the controls cannot show are written back as they were,
  // unless the user changed the control.
  std::string storedOnline_;
  int shownOnline_ = -1;
  bool onlineShowable_ = true;
  std::string storedGame_;
  int shownGame_ = -1;
  bool gameShowable_ = true;
};

}  // namespace tavrolin
