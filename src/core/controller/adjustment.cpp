#include "controller/form1.h"

#include "config/settings.h"

namespace tavrolin {

void Form1::SetAffinity(const std::string& strImageName) {
  Handler handler(log_, "Error occurred in SetAffinity");
  handler.customLine(strCustomeErrText).variables([&] {
    return ReportVariables{{"strImageName =", strImageName},
                           {"lngPID =", std::to_string(lngPID)},
                           {"lngHwndProcess =", lngHwndProcess.text()},
                           {"iProcessors =", std::to_string(iProcessors)},
                           {"MyMask =", std::to_string(MyMask)}};
  });
  ProcessControl& control = platform_.processControl;

  strCustomeErrText.clear();
  handler.run([&] { lngPID = GetProcessID(platform_.processList, log_, strImageName); });
  if (lngPID == 0) {
    strCustomeErrText = "Could Not Get process ID of " + strImageName;
    handler.directEntry();
    return;
  }

  handler.run([&] {
    lngHwndProcess.hold(control.open(lngPID));
    log_.recordLastError();
  });
  if (lngHwndProcess.get() == nullptr) {
    strCustomeErrText = "Error in OpenProcess For the Process ID: " + std::to_string(lngPID);
    handler.directEntry();
    return;
  }

  handler.run([&] { BitMaskTable_ = GetBitMasks(log_); });
  handler.run([&] { iProcessors = ToInteger16(ProcessorCount(platform_.environment)); });
  if (iProcessors == 1) {
    lngHwndProcess.release();  // a single processor leaves nothing to spread
    return;
  }

  handler.run([&] {
    control.setAffinity(*lngHwndProcess.get(), 1);
    log_.recordLastError();
  });
  pinnedImage_ = strImageName;
  // Events already waiting (a poll, a menu command) run here, before the
  // final-mask step is armed.
  handler.run([&] { platform_.pump.handleWaitingEvents(); });
  handler.run([&] { Timer1->setEnabled(true); });
}

void Form1::Timer1_Timer() {
  Handler handler(log_, "Error occurred in Timer1_Timer");
  handler.variables([&] {
    return ReportVariables{{"lngPID =", std::to_string(lngPID)},
                           {"lngHwndProcess =", lngHwndProcess.text()},
                           {"numProcessors =", std::to_string(numProcessors)},
                           {"MyMask =", std::to_string(MyMask)}};
  });
  ProcessControl& control = platform_.processControl;

  MyMask = 0;
  const std::optional<std::uint64_t> composed =
      ComposeMask(CustomProc, BitMaskTable_, platform_.environment, numProcessors, handler);

  if (ProcessHandle* process = lngHwndProcess.get()) {
    bool finalTookEffect = false;
    if (composed) {
      MyMask = *composed;
      finalTookEffect = control.setAffinity(*process, MyMask);
      log_.recordLastError();
      if (!finalTookEffect) handler.report(Failure(FailureNumber::kAffinityRefused));
    }
    if (!finalTookEffect) {
      // Never leave the game pinned to processor 0: give it every processor
      // it may use. Without a composed mask this is the final mask; after a
      // refusal it is only a rescue, and the beep stays silent.
      const std::optional<std::uint64_t> allowed = control.allowedMask(*process);
      const bool spread = allowed && control.setAffinity(*process, *allowed);
      log_.recordLastError();
      if (!spread) {
        handler.report(Failure(FailureNumber::kAffinityRefused));
      } else if (!composed) {
        MyMask = *allowed;
        finalTookEffect = true;
      }
    }
    if (finalTookEffect) platform_.beeper.beep(pinnedImage_, lngPID, MyMask);
  }

  lngHwndProcess.release();
  Timer1->setEnabled(false);
}

}  // namespace tavrolin
