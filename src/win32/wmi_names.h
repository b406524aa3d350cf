#pragma once

#include "platform/process_names.h"

namespace tavrolin::win32 {

// Image names from WMI's scripting interface: the object bound to
// "winmgmts://" and the computer name, its instances of win32_process, and the
// Name property of each. Needs COM on the calling thread (apartment-threaded).
// On any failure: false, with the HRESULT as the last error.
class WmiProcessNames final : public ProcessNames {
 public:
  bool forEachName(std::string_view computerName,
                   const std::function<bool(std::string_view)>& visit) override;
};

}  // namespace tavrolin::win32
