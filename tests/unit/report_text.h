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
