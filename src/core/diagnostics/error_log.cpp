#include "diagnostics/error_log.h"

namespace tavrolin {

namespace {
constexpr std::string_view kNewLine = "\r\n";
}

ErrorLog::ErrorLog(Environment& environment, FileSystem& files, Clock& clock, LastError& lastError)
    : environment_(environment), files_(files), clock_(clock), lastError_(lastError) {}

std::string ErrorLog::path() const {
  return environment_.settingsDirectory() + environment_.pathSeparator() + "ErrorLog.txt";
}

void ErrorLog::recordLastError() {
  lastSystemError_ = lastError_.code();
}

void ErrorLog::append(std::string_view message, bool stamp) {
  std::string text;
  if (stamp) {
    const std::string date = clock_.dateText();  // date first, then time
    const std::string time = clock_.timeText();
    text.append(kNewLine).append(date).append(" ").append(time).append(kNewLine);
  }
  text.append(message).append(kNewLine);
  if (!files_.writeText(path(), OpenMode::kAppend, text)) ++droppedLines_;
}

}  // namespace tavrolin
