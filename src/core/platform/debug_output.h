#pragma once

#include <string_view>

namespace tavrolin {

// Lines for whoever watches the program at work: one per poll, saying what it
// found, and one per step of an adjustment. Windows sends them to a debugger
// (DebugView, or Wine's +debugstr channel); the Linux program prints them on
// stderr with --verbose. Nothing in the program depends on their being read.
class DebugOutput {
 public:
  virtual ~DebugOutput() = default;
  virtual void line(std::string_view text) = 0;
};

}  // namespace tavrolin
