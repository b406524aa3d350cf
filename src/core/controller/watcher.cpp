#include "controller/form1.h"

namespace tavrolin {

void Form1::Timer3_Timer() {
  const bool lobbyRuns = presence_.IsProcessRunning(ComputerName, kLobbyClient);
  if (lobbyRuns && !OnlineAllowed) return;  // online play is not to be touched

  const bool gameRuns = presence_.IsProcessRunning(ComputerName, strProfileProcess);
  if (!gameRuns) {
    isRunning = false;
    Timer4->setEnabled(false);
  } else if (!isRunning) {
    isRunning = true;
    Timer4->setEnabled(true);  // the delay counts from this poll
  }
}

void Form1::Timer4_Timer() {
  if (presence_.IsProcessRunning(ComputerName, strProfileProcess)) {
    SetAffinity(strProfileProcess);
  } else {
    isRunning = false;
  }
  Timer4->setEnabled(false);  // one tick per arming
}

}  // namespace tavrolin
