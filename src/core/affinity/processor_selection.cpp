#include "affinity/processor_selection.h"

#include <algorithm>

namespace tavrolin {

bool ProcessorSelection::remove(std::string_view key) {
  const auto found = std::find_if(items_.begin(), items_.end(),
                                  [key](const Item& item) { return item.key == key; });
  if (found == items_.end()) return false;
  items_.erase(found);
  return true;
}

}  // namespace tavrolin
