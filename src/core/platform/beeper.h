#pragma once

#include <cstdint>
#include <string_view>

namespace tavrolin {

// The sign that an adjustment took effect: the system beep, plus whatever the
// platform's users expect to see (the console shows a line).
class Beeper {
 public:
  virtual ~Beeper() = default;
  // `presets`: the CPUs presets that chose the mask ("LargeCache"), or empty.
  virtual void beep(std::string_view imageName, std::uint32_t processId, std::uint64_t mask,
                    std::string_view presets) = 0;
  // `count` threads the game started after its adjustment were moved onto
  // its mask. No beep: the console counts them in a line.
  virtual void strayThreadsMoved(std::string_view imageName, std::uint32_t processId,
                                 std::uint64_t mask, int count) = 0;
};

}  // namespace tavrolin
