#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tavrolin {

// The processors the user ticked in the options dialog, for the final mask:
// an ordered collection of "True"/"False" items with keys ("1key", "2key",
// ...), item p standing for processor p - 1 and addressed by 1-based
// position. Empty means all processors. It owns its items; it lives in memory
// only, so every run starts with all processors.
class ProcessorSelection {
 public:
  std::size_t count() const { return items_.size(); }
  // Item at 1-based `position`; the caller keeps within 1..count().
  const std::string& item(std::size_t position) const { return items_.at(position - 1).value; }
  void add(std::string value, std::string key) {
    items_.push_back({std::move(value), std::move(key)});
  }
  // False when no item has that key.
  bool remove(std::string_view key);
  void clear() { items_.clear(); }

 private:
  struct Item {
    std::string value;
    std::string key;
  };
  std::vector<Item> items_;
};

}  // namespace tavrolin
