#pragma once

// What a handler report looks like in the log, for comparing whole reports
// byte for byte. The format itself is pinned literally in diagnostics_test.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tavrolin::test {

// The stamp the fake clock produces: an empty line, then date and time.
inline constexpr std::string_view kStamp = "\r\n3/9/2024 4:05:09 PM\r\n";

// One report: the stamp, then every line followed by CR LF.
inline std::string Report(std::initializer_list<std::string_view> lines) {
  std::string text(kStamp);
  for (const std::string_view line : lines) text.append(line).append("\r\n");
  return text;
}

// The final step's report on the game of process 1000 (handle 1256).
inline std::string FinalMaskReport(std::string_view numberLine, std::string_view dllError,
                                   std::string_view processors, std::string_view mask) {
  return Report({"Error occurred in Timer1_Timer", numberLine, dllError, "Variables:lngPID =1000",
                 "Variables:lngHwndProcess =1256",
                 "Variables:numProcessors =" + std::string(processors),
                 "Variables:MyMask =" + std::string(mask)});
}

// The presence query's report on GAMER-PC.
inline std::string PresenceReport(std::string_view numberLine, std::string_view dllError,
                                  std::string_view imageName) {
  return Report({"Error occurred in IsProcessRunning", numberLine, dllError,
                 "Variables:computerName =GAMER-PC",
                 "Variables:imageName =" + std::string(imageName)});
}
inline constexpr std::string_view kListUsed =
    "1004  The process query failed; the process list is used instead";
inline constexpr std::string_view kNoProcessSource =
    "1007  Neither the process query nor the process list can be used";

// Every report starts with a stamp.
inline std::size_t ReportCount(std::string_view log) {
  std::size_t count = 0;
  for (std::size_t at = log.find(kStamp); at != std::string_view::npos;
       at = log.find(kStamp, at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace tavrolin::test
