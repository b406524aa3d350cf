#include "controller/controller.h"

namespace tavrolin {

void Controller::onPoll() {
  const bool lobbyRuns = presence_.isProcessRunning(computerName_, kLobbyClient);
  if (lobbyRuns && !onlineAllowed_) return;  // online play is not to be touched

  const bool gameRuns = presence_.isProcessRunning(computerName_, watchedImage_);
  if (!gameRuns) {
    gameRunning_ = false;
    delayTimer_->setEnabled(false);
  } else if (!gameRunning_) {
    gameRunning_ = true;
    delayTimer_->setEnabled(true);  // the delay counts from this poll
  }
}

void Controller::onDelayElapsed() {
  if (presence_.isProcessRunning(computerName_, watchedImage_)) {
    pinToFirstProcessor(watchedImage_);
  } else {
    gameRunning_ = false;
  }
  delayTimer_->setEnabled(false);  // one tick per arming
}

}  // namespace tavrolin
