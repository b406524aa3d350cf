#pragma once

#include <windows.h>
// After windows.h, which it builds on.
#include <wbemdisp.h>

#include <string>

#include "platform/process_names.h"
#include "win_handles.h"

namespace tavrolin::win32 {

// Image names from WMI's scripting interface: the object bound to
// "winmgmts://" and the computer name, its instances of win32_process, and the
// Name property of each. Needs COM on the calling thread (apartment-threaded),
// which must outlive the object. On any failure: false, with the HRESULT as
// the last error.
//
// The bound services object is kept from one query to the next (binding costs
// time, and some systems keep handles for every bind), and bound again after
// any failure or for another computer.
class WmiProcessNames final : public ProcessNames {
 public:
  bool forEachName(std::string_view computerName,
                   const std::function<bool(std::string_view)>& visit) override;

 private:
  bool query(const std::function<bool(std::string_view)>& visit);

  ComPtr<ISWbemServices> services_;
  std::string boundTo_;  // the computer name `services_` was bound for
};

}  // namespace tavrolin::win32
