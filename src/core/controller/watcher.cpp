#include "controller/controller.h"

namespace tavrolin {

// A query that knows nothing (every process source failed, reported once per
// outage) leaves the watch as it was.
void Controller::onPoll() {
  const Presence lobby = presence_.presenceOf(computerName_, kLobbyClient);
  if (lobby == Presence::kUnknown) return;
  if (lobby == Presence::kRunning && !onlineAllowed_) return;  // online play is not to be touched

  const Presence game = presence_.presenceOf(computerName_, watchedImage_);
  if (game == Presence::kUnknown) return;
  if (game == Presence::kNotRunning) {
    gameRunning_ = false;
    delayTimer_->setEnabled(false);
    keptGame_.reset();
  } else if (!gameRunning_) {
    gameRunning_ = true;
    delayTimer_->setEnabled(true);  // the delay counts from this poll
  } else if (keptGame_) {
    keepThreadsOnFinalMask();
  }
}

void Controller::onDelayElapsed() {
  const Presence game = presence_.presenceOf(computerName_, watchedImage_);
  if (game == Presence::kUnknown) return;  // the delay ends again one interval later
  if (game == Presence::kRunning) {
    pinToFirstProcessor(watchedImage_);
  } else {
    gameRunning_ = false;
  }
  delayTimer_->setEnabled(false);  // one tick per arming
}

}  // namespace tavrolin
