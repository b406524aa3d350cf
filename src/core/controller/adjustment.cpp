#include "config/settings.h"
#include "controller/controller.h"

namespace tavrolin {

namespace {
// The reports' variable lines name the values as they always have.
constexpr std::string_view kImageVariable = "strImageName =";
constexpr std::string_view kPidVariable = "lngPID =";
constexpr std::string_view kHandleVariable = "lngHwndProcess =";
constexpr std::string_view kProcessorsAtPinVariable = "iProcessors =";
constexpr std::string_view kProcessorCountVariable = "numProcessors =";
constexpr std::string_view kMaskVariable = "MyMask =";
}  // namespace

void Controller::pinToFirstProcessor(const std::string& image) {
  Handler handler(log_, ReportHeading(kPinLogName));
  handler.customLine(customErrorText_).variables([&] {
    return ReportVariables{{kImageVariable, image},
                           {kPidVariable, std::to_string(gamePid_)},
                           {kHandleVariable, gameHandle_.text()},
                           {kProcessorsAtPinVariable, std::to_string(processorCountAtPin_)},
                           {kMaskVariable, std::to_string(finalMask_)}};
  });
  ProcessControl& control = platform_.processControl;

  customErrorText_.clear();
  handler.run([&] { gamePid_ = FindProcessId(platform_.processList, log_, image); });
  if (gamePid_ == 0) {
    customErrorText_ = "Could Not Get process ID of " + image;
    handler.directEntry();
    return;
  }

  handler.run([&] {
    gameHandle_.hold(control.open(gamePid_));
    log_.recordLastError();
  });
  if (gameHandle_.get() == nullptr) {
    customErrorText_ = "Error in OpenProcess For the Process ID: " + std::to_string(gamePid_);
    handler.directEntry();
    return;
  }

  handler.run([&] { bitMasks_ = BuildBitMaskTable(log_); });
  handler.run([&] { processorCountAtPin_ = ToInteger16(ProcessorCount(platform_.environment)); });
  if (processorCountAtPin_ == 1) {
    gameHandle_.release();  // a single processor leaves nothing to spread
    return;
  }

  handler.run([&] {
    control.setAffinity(*gameHandle_.get(), 1);
    log_.recordLastError();
  });
  pinnedImage_ = image;
  // Events already waiting (a poll, a menu command) run here, before the
  // final-mask step is armed.
  handler.run([&] { platform_.pump.handleWaitingEvents(); });
  handler.run([&] { finalMaskTimer_->setEnabled(true); });
}

void Controller::applyFinalMask() {
  Handler handler(log_, ReportHeading(kFinalMaskLogName));
  handler.variables([&] {
    return ReportVariables{{kPidVariable, std::to_string(gamePid_)},
                           {kHandleVariable, gameHandle_.text()},
                           {kProcessorCountVariable, std::to_string(processorCount_)},
                           {kMaskVariable, std::to_string(finalMask_)}};
  });
  ProcessControl& control = platform_.processControl;

  finalMask_ = 0;
  const std::optional<std::uint64_t> composed =
      ComposeMask(processorSelection_, bitMasks_, platform_.environment, processorCount_, handler);

  if (ProcessHandle* process = gameHandle_.get()) {
    bool finalTookEffect = false;
    if (composed) {
      finalMask_ = *composed;
      finalTookEffect = control.setAffinity(*process, finalMask_);
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
        finalMask_ = *allowed;
        finalTookEffect = true;
      }
    }
    if (finalTookEffect) platform_.beeper.beep(pinnedImage_, gamePid_, finalMask_);
  }

  gameHandle_.release();
  finalMaskTimer_->setEnabled(false);
}

}  // namespace tavrolin
