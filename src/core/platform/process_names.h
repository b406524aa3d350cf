#pragma once

#include <functional>
#include <string_view>

namespace tavrolin {

// The presence query's source: the image names of the processes that run on a
// computer, delivered one at a time.
class ProcessNames {
 public:
  virtual ~ProcessNames() = default;
  // Calls `visit` with each image name until it returns false. Returns false
  // when the source cannot be used, with the reason in the last error.
  virtual bool forEachName(std::string_view computerName,
                           const std::function<bool(std::string_view)>& visit) = 0;
};

}  // namespace tavrolin
