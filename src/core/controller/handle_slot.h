#pragma once

#include <memory>
#include <string>
#include <utility>

#include "platform/process_control.h"

namespace tavrolin {

// Where the game's process handle is kept from the first phase of an
// adjustment to the second. It reads as a report prints it: nothing before the
// first adjustment and after a finished one, "0" after a failed open, the
// handle's number while one is held. The handle is closed whenever it is let go.
class ProcessHandleSlot {
 public:
  void hold(std::unique_ptr<ProcessHandle> handle) {
    handle_ = std::move(handle);
    failedOpen_ = handle_ == nullptr;
  }
  // Closes the handle; the slot then reads as the empty text.
  void release() {
    handle_.reset();
    failedOpen_ = false;
  }
  // Hands the handle over; the slot then reads as after release().
  std::unique_ptr<ProcessHandle> take() {
    failedOpen_ = false;
    return std::move(handle_);
  }
  ProcessHandle* get() const { return handle_.get(); }
  std::string text() const {
    if (handle_) return std::to_string(handle_->value());
    return failedOpen_ ? "0" : "";
  }

 private:
  std::unique_ptr<ProcessHandle> handle_;
  bool failedOpen_ = false;
};

}  // namespace tavrolin
