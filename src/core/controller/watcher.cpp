#include "affinity/bit_masks.h"
#include "controller/controller.h"

namespace tavrolin {

namespace {
std::string_view Found(Presence presence) {
  return presence == Presence::kRunning ? " running" : " not running";
}
}  // namespace

// A query that knows nothing (every process source failed, reported once per
// outage) leaves the watch as it was. Each poll says on the debug output what
// it found and did, after it has done it.
void Controller::onPoll() {
  const std::string poll = "poll " + std::to_string(++polls_) + ": ";
  const Presence lobby = presence_.presenceOf(computerName_, kLobbyClient);
  if (lobby == Presence::kUnknown) {
    platform_.debug.line(poll + "no process list: nothing changes");
    return;
  }
  const std::string found = poll + std::string(kLobbyClient) + std::string(Found(lobby)) + "; ";
  if (lobby == Presence::kRunning && !onlineAllowed_) {
    // Online play is not to be touched.
    platform_.debug.line(found + "online play not allowed: " + watchedImage_ + " not looked for");
    return;
  }

  const Presence game = presence_.presenceOf(computerName_, watchedImage_);
  std::string line = found + watchedImage_;
  if (game == Presence::kUnknown) {
    line += " unknown: nothing changes";
  } else if (game == Presence::kNotRunning) {
    gameRunning_ = false;
    delayTimer_->setEnabled(false);
    keptGame_.reset();
    line += Found(game);
  } else if (delayTimer_->interval() == 0 && (!gameRunning_ || delayTimer_->enabled())) {
    // A delay of 0 is no wait: the game is adjusted at the poll that sees it,
    // or at the next one when the delay was set to 0 while it ran (a timer of
    // interval 0 never ticks).
    gameRunning_ = true;
    delayTimer_->setEnabled(false);
    platform_.debug.line(line + " running: no delay, adjusting");
    pinToFirstProcessor(watchedImage_);
    return;
  } else if (!gameRunning_) {
    gameRunning_ = true;
    delayTimer_->setEnabled(true);  // the delay counts from this poll
    line += " running: delay of " + std::to_string(delayTimer_->interval()) + " ms started";
  } else if (delayTimer_->enabled()) {
    line += " running: delay under way";
  } else if (keptGame_) {
    const int moved = keepThreadsOnFinalMask();
    line += keptGame_ ? " running: kept on processors " + DescribeMask(keptMask_) + ", " +
                            std::to_string(moved) + (moved == 1 ? " thread" : " threads") + " moved"
                      : " running: handled already";
  } else {
    line += " running: handled already";
  }
  platform_.debug.line(line);
}

void Controller::onDelayElapsed() {
  const Presence game = presence_.presenceOf(computerName_, watchedImage_);
  if (game == Presence::kUnknown) {
    // The delay ends again one interval later.
    platform_.debug.line("delay over: no process list: asked again in " +
                         std::to_string(delayTimer_->interval()) + " ms");
    return;
  }
  platform_.debug.line("delay over: " + watchedImage_ + std::string(Found(game)));
  if (game == Presence::kRunning) {
    pinToFirstProcessor(watchedImage_);
  } else {
    gameRunning_ = false;
  }
  delayTimer_->setEnabled(false);  // one tick per arming
}

}  // namespace tavrolin
