#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "diagnostics/error_log.h"
#include "diagnostics/failure.h"
#include "platform/environment.h"
#include "platform/process_list.h"
#include "platform/process_names.h"

namespace tavrolin {

// Image names compare without regard to (ASCII) letter case.
std::string UpperCase(std::string_view text);

// The text of a NUL-terminated single-byte string (an image name in the
// process list), read one byte at a time; `cursor` is left on the terminating
// NUL.
std::string ReadProcessName(const char*& cursor, ErrorLog& log);

// The identifier of the last process in the list whose image name matches;
// 0 when none does or the list cannot be had (reported).
std::uint32_t FindProcessId(ProcessList& processList, ErrorLog& log, std::string_view imageName);

// The name of the local computer. Throws a Failure numbered by the system's
// error code when it cannot be had.
std::string LocalComputerName(Environment& environment, ErrorLog& log);

// What a presence query found out.
enum class Presence { kRunning, kNotRunning, kUnknown };

// Whether a process of the given image name runs on the computer. When the
// names source fails, the process list answers instead, and one report is
// written when such an outage starts (not at every query). When the list
// fails as well nothing is known: kUnknown, and again one report per outage,
// the next only after a query has been answered in between. It owns only the
// two outage flags; the sources and the log are the caller's.
class PresenceQuery {
 public:
  PresenceQuery(ProcessNames& names, ProcessList& processList, ErrorLog& log)
      : names_(names), processList_(processList), log_(log) {}

  Presence presenceOf(std::string_view computerName, std::string_view imageName);
  bool inOutage() const { return inOutage_; }
  bool blind() const { return blind_; }

 private:
  Presence askProcessList(std::string_view computerName, std::string_view imageName);
  // One report under the query's heading, naming the computer and the image.
  void report(FailureNumber number, std::string_view computerName, std::string_view imageName);

  ProcessNames& names_;
  ProcessList& processList_;
  ErrorLog& log_;
  bool inOutage_ = false;  // the names source fails
  bool blind_ = false;     // the process list fails too
};

}  // namespace tavrolin
