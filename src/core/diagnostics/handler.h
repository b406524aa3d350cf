#pragma once

#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "diagnostics/error_log.h"
#include "diagnostics/failure.h"

namespace tavrolin {

// A report's heading: "Error occurred in " and the name ErrorLog.txt gives the
// action that failed.
inline std::string ReportHeading(std::string_view logName) {
  return "Error occurred in " + std::string(logName);
}

// One "Variables:" line of a report: the name text ("lngPID =") and the value.
struct ReportVariable {
  std::string_view name;
  std::string value;
};
using ReportVariables = std::vector<ReportVariable>;

// A procedure's local handler. Each statement that may fail runs through
// run(): a failure writes the procedure's report and execution goes on with
// the next statement. directEntry() writes the report without a failure.
//
// A report is: stamp; heading; number, two blanks, description; "DLL Error - "
// and the last recorded system error; the custom line where there is one; one
// line per variable, as the variables stand at that moment.
//
// It owns its heading and the procedure's ways to read its variables and run
// its tail; the log and the custom text belong to the caller.
class Handler {
 public:
  Handler(ErrorLog& log, std::string heading) : log_(log), heading_(std::move(heading)) {}

  Handler& variables(std::function<ReportVariables()> variables) {
    variables_ = std::move(variables);
    return *this;
  }
  // The "Custom Error - " line; `text` is emptied after every report.
  Handler& customLine(std::string& text) {
    customText_ = &text;
    return *this;
  }
  Handler& tail(std::function<void()> tail) {
    tail_ = std::move(tail);
    return *this;
  }

  // Runs one statement; false when it failed and was reported.
  template <typename Statement>
  bool run(Statement&& statement) {
    try {
      std::forward<Statement>(statement)();
      return true;
    } catch (const Failure& failure) {
      report(failure.number(), failure.description());
    } catch (const std::bad_alloc&) {
      report(Failure(FailureNumber::kOutOfMemory));
    } catch (const std::exception& error) {
      report(static_cast<std::int32_t>(FailureNumber::kUnexpected), error.what());
    }
    return false;
  }

  void directEntry() { report(0, ""); }
  void report(const Failure& failure) { report(failure.number(), failure.description()); }
  void report(std::int32_t number, std::string_view description);

 private:
  ErrorLog& log_;
  std::string heading_;
  std::function<ReportVariables()> variables_;
  std::string* customText_ = nullptr;
  std::function<void()> tail_;
};

// The guard at the top of every event (timer tick, menu command, window
// message): a failure that no local handler took is reported as a failure of
// the event, and the program goes on.
template <typename Body>
void GuardEvent(ErrorLog& log, std::string_view logName, Body&& body) {
  Handler(log, ReportHeading(logName)).run(std::forward<Body>(body));
}

}  // namespace tavrolin
