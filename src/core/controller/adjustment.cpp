#include <string>
#include <vector>

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

std::string Controller::gameText(std::string_view image) const {
  return std::string(image) + " (PID " + std::to_string(gamePid_) + ")";
}

bool Controller::setGameAffinity(ProcessHandle& process, std::uint64_t mask, Handler& handler) {
  ProcessControl& control = platform_.processControl;
  const bool set = control.setAffinity(process, mask);
  log_.recordLastError();
  if (!set) {
    std::string description(Describe(FailureNumber::kAffinityRefused));
    const std::vector<std::uint32_t> threads = control.newlyRefusedThreads(process);
    for (std::size_t i = 0; i < threads.size(); ++i) {
      description += (i == 0 ? (threads.size() == 1 ? " for thread " : " for threads ") : ", ");
      description += std::to_string(threads[i]);
    }
    handler.report(Failure(FailureNumber::kAffinityRefused, description));
  }
  return set;
}

void Controller::pinToFirstProcessor(const std::string& image) {
  // An adjustment still waiting for its final step is finished first: what
  // the new one remembers must not be processor 0.
  if (finalStepPending_) applyFinalMask();
  keptGame_.reset();  // a new adjustment, of whatever game runs now

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
    platform_.debug.line("pin: " + image + " not found");
    handler.directEntry();
    return;
  }

  // A handle whose processors cannot be read is of no use: without them no
  // rescue could give the game back what it had.
  handler.run([&] {
    gameHandle_.hold(control.open(gamePid_, image));
    log_.recordLastError();
    if (ProcessHandle* process = gameHandle_.get()) {
      maskAtOpen_ = control.affinity(*process);
      log_.recordLastError();
      if (!maskAtOpen_) gameHandle_.hold(nullptr);
    }
  });
  if (gameHandle_.get() == nullptr) {
    customErrorText_ = "Error in OpenProcess For the Process ID: " + std::to_string(gamePid_);
    platform_.debug.line("pin: " + gameText(image) + " cannot be opened");
    handler.directEntry();
    return;
  }

  handler.run([&] { bitMasks_ = BuildBitMaskTable(log_); });
  handler.run([&] { processorCountAtPin_ = ToInteger16(ProcessorCount(platform_.environment)); });
  if (processorCountAtPin_ == 1) {
    gameHandle_.release();  // a single processor leaves nothing to spread
    platform_.debug.line("pin: " + gameText(image) + " left alone: one processor");
    return;
  }

  // A refused pin is reported; the final step still comes on time.
  bool pinned = false;
  handler.run([&] { pinned = setGameAffinity(*gameHandle_.get(), 1, handler); });
  platform_.debug.line("pin: " + gameText(image) +
                       (pinned ? " on processor 0" : " refused processor 0") + "; final step in " +
                       std::to_string(finalMaskTimer_->interval()) + " ms");
  pinnedImage_ = image;
  finalStepPending_ = true;
  // Events already waiting (a poll, a menu command) run here, before the
  // final-mask step is armed. An exit among them has run the step already.
  handler.run([&] { platform_.pump.handleWaitingEvents(); });
  if (finalStepPending_) handler.run([&] { finalMaskTimer_->setEnabled(true); });
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
  finalStepPending_ = false;

  finalMask_ = 0;
  const std::optional<std::uint64_t> composed =
      ComposeMask(processorSelection_, bitMasks_, platform_.environment, onlineProcessors_,
                  processorCount_, handler);

  if (ProcessHandle* process = gameHandle_.get()) {
    // Without a composed mask the game gets every processor it may use.
    std::optional<std::uint64_t> asked = composed;
    if (!asked) {
      asked = control.allowedMask(*process);
      log_.recordLastError();
    }
    if (composed) finalMask_ = *composed;
    const bool tookEffect = asked && setGameAffinity(*process, *asked, handler);
    const std::string game = "final: " + gameText(pinnedImage_);
    if (tookEffect) {
      // What the system made of it (a cpuset or a job narrows it) is what
      // the game got, and what the beep's line names.
      const std::optional<std::uint64_t> effective = control.affinity(*process);
      log_.recordLastError();
      const std::uint64_t given = effective.value_or(*asked);
      if (const std::uint64_t leftOut = *asked & ~given; leftOut != 0) {
        handler.report(Failure(FailureNumber::kProcessorsLeftOut,
                               std::string(Describe(FailureNumber::kProcessorsLeftOut)) + ": " +
                                   DescribeMask(leftOut)));
      }
      if (!composed) finalMask_ = *asked;
      platform_.beeper.beep(pinnedImage_, gamePid_, given, processorChoice_.presets);
      // A chosen mask narrower than what the game may use must be given to
      // the threads it starts later too: the polls do that while it runs.
      if (composed) {
        const std::optional<std::uint64_t> allowed = control.allowedMask(*process);
        log_.recordLastError();
        if (allowed && (*allowed & ~*asked) != 0) {
          keptGame_ = gameHandle_.take();
          keptMask_ = *asked;
        }
      }
      const std::string& presets = processorChoice_.presets;
      platform_.debug.line(game + " on processors " + DescribeMask(given) +
                           (presets.empty() ? "" : " (" + presets + ")") +
                           (keptGame_ ? ", kept on them while it runs" : ""));
    } else if (maskAtOpen_) {
      // Never leave the game pinned to processor 0: it gets back exactly what
      // it had before the first phase. A rescue is no adjustment: no beep.
      setGameAffinity(*process, *maskAtOpen_, handler);
      platform_.debug.line(game + " not adjusted: given back processors " +
                           DescribeMask(*maskAtOpen_));
    }
  } else {
    platform_.debug.line("final: no game to adjust");
  }

  gameHandle_.release();
  finalMaskTimer_->setEnabled(false);
}

int Controller::keepThreadsOnFinalMask() {
  // Quiet and cheap: a look at each thread's mask, a change only where one
  // differs, no report (a thread that refuses would refuse at every poll).
  const std::optional<int> moved = platform_.processControl.moveStrayThreads(*keptGame_, keptMask_);
  log_.recordLastError();
  if (!moved) {
    keptGame_.reset();  // it has ended
    return 0;
  }
  if (*moved > 0) platform_.beeper.strayThreadsMoved(pinnedImage_, gamePid_, keptMask_, *moved);
  return *moved;
}

}  // namespace tavrolin
