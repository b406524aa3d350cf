#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/last_error.h"

namespace tavrolin {

// "ErrorLog.txt" in the settings directory: only ever appended to, opened and
// closed for every line, CR LF line ends. It owns no file handle, only the last
// system error recorded for the next report and the count of dropped lines.
class ErrorLog {
 public:
  ErrorLog(Environment& environment, FileSystem& files, Clock& clock, LastError& lastError);

  // Appends `message` and CR LF; with `stamp`, an empty line and a date-and-time
  // line first. A line that cannot be written is dropped: a broken log must
  // never stop the program.
  void append(std::string_view message, bool stamp);

  // Notes the operating system's last error; called right after every
  // operating-system call so that the next report prints the right code.
  void recordLastError();
  std::uint32_t lastSystemError() const { return lastSystemError_; }

  std::string path() const;
  // Lines that could not be written since the program started.
  std::uint64_t droppedLines() const { return droppedLines_; }

 private:
  Environment& environment_;
  FileSystem& files_;
  Clock& clock_;
  LastError& lastError_;
  std::uint32_t lastSystemError_ = 0;
  std::uint64_t droppedLines_ = 0;
};

}  // namespace tavrolin
