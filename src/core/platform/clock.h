#pragma once

#include <string>

namespace tavrolin {

// The current date and time as the user's regional settings write them.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::string dateText() = 0;  // short date
  virtual std::string timeText() = 0;  // time with seconds
};

}  // namespace tavrolin
