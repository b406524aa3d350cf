// The Windows detection: the machines of tests/data/topologies as
// GetLogicalProcessorInformationEx describes them, written here field by
// field at the documented offsets, give the presets the same processors as
// their sysfs trees do. (Wine reports EfficiencyClass 0 for every core, so
// only these records show the performance cores of a hybrid part.)
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "affinity/processor_presets.h"
#include "affinity/processor_records.h"
#include "expected_choices.h"

namespace tavrolin {
namespace {

// Records with masks `width` bytes wide (8: a 64-bit process; 4: a 32-bit
// one, which sees the low 32 bits).
class Records {
 public:
  explicit Records(std::size_t width) : width_(width) {}

  // Relationship 0: Flags at 8, EfficiencyClass at 9, GroupCount at 30, the
  // group masks from 32.
  Records& core(std::uint64_t mask, unsigned efficiencyClass = 0, unsigned group = 0) {
    const std::size_t at = start(0, 32 + width_ + 8);
    put(at + 9, efficiencyClass, 1);
    put(at + 30, 1, 2);
    put(at + 32, mask, width_);
    put(at + 32 + width_, group, 2);
    return *this;
  }
  // Relationship 2: Level at 8, CacheSize at 12, GroupCount at 38 (0 before
  // Windows 11: one mask), the group masks from 40, each mask's group `n`.
  Records& cache(unsigned level, std::uint64_t bytes, std::vector<std::uint64_t> masks,
                 unsigned groupCount = 0) {
    const std::size_t at = start(2, 40 + masks.size() * (width_ + 8));
    put(at + 8, level, 1);
    put(at + 12, bytes, 4);
    put(at + 38, groupCount, 2);
    for (std::size_t n = 0; n < masks.size(); ++n) {
      put(at + 40 + n * (width_ + 8), masks[n], width_);
      put(at + 40 + n * (width_ + 8) + width_, n, 2);
    }
    return *this;
  }
  // The last record claims `extra` bytes more than the buffer holds.
  Records& cutShort(std::size_t extra) {
    put(last_ + 4, bytes_.size() - last_ + extra, 4);
    return *this;
  }
  ProcessorTopology read() const { return TopologyFromRecords(bytes_, width_); }

 private:
  std::size_t start(unsigned relationship, std::size_t size) {
    last_ = bytes_.size();
    bytes_.resize(last_ + size);
    put(last_, relationship, 4);
    put(last_ + 4, size, 4);
    return last_;
  }
  void put(std::size_t at, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) bytes_[at + i] = std::byte((value >> (8 * i)) & 0xFF);
  }
  std::size_t width_;
  std::size_t last_ = 0;
  std::vector<std::byte> bytes_;
};

// With `groups` 2 (Windows 11), each cache has a mask for group 1 as well.
Records X3D(std::size_t width, unsigned groups = 0) {
  Records records(width);
  for (unsigned n = 0; n < 16; ++n) {
    const std::uint64_t core = (std::uint64_t{1} << n) | (std::uint64_t{1} << (n + 16));
    records.core(core).cache(2, 1 << 20, {core});
  }
  if (groups == 2) {
    return records.cache(3, 96 << 20, {0x00FF00FF, 0xFF00}, 2)
        .cache(3, 32 << 20, {0xFF00FF00, 0xFF}, 2);
  }
  return records.cache(3, 96 << 20, {0x00FF00FF}).cache(3, 32 << 20, {0xFF00FF00});
}

// Wine 8.0 gives every core class 0.
Records I7(unsigned performanceClass) {
  Records records(8);
  for (unsigned n = 0; n < 12; n += 2) records.core(std::uint64_t{3} << n, performanceClass);
  for (unsigned n = 12; n < 20; ++n) records.core(std::uint64_t{1} << n, 0);
  return records.cache(3, 24 << 20, {0xFFFFF});
}

Records Opteron(std::size_t width) {
  Records records(width);
  for (unsigned n = 0; n < 64; n += 2) records.core(std::uint64_t{3} << n);
  for (unsigned n = 0; n < 64; n += 8) records.cache(3, 6 << 20, {std::uint64_t{0xFF} << n});
  return records;
}

TEST(ProcessorRecords, EachMachineGivesThePresetsTheProcessorsItsSysfsTreeGives) {
  const std::string cut = "Online: 0-31\nLargeCache: 0-31 (no larger cache)\n";
  const struct {
    const char* name;
    Records records;
    std::string lines;  // the first lines ListProcessorChoices gives
  } rows[] = {
      {"7950X3D", X3D(8), test::k7950X3DChoices},
      {"7950X3D, 32-bit", X3D(4), test::k7950X3DChoices},
      {"i7-1370P", I7(1), test::kI71370PChoices},
      {"i7-1370P under Wine", I7(0),
       "Online: 0-19\nLargeCache: 0-19 (no larger cache)\n"
       "PerformanceCores: 0-19 (all cores alike)\n"},
      {"4x Opteron", Opteron(8), test::kOpteronChoices},
      {"4x Opteron, 32-bit under WOW64", Opteron(4),
       "Online: 0-31\nLargeCache: 0-31 (no larger cache)\nPerformanceCores: 0-31 (all cores "
       "alike)\nOnePerCore: 0,2,4,6,8,10,12,14,16,18,20,22,24,26,28,30 (16 cores)\n"},
      // Processors in group 1 are not this process's: a larger cache and a
      // faster core there change nothing.
      {"7950X3D, processors in group 1",
       X3D(8, 2).cache(3, 128 << 20, {0, 0xFF}, 2).core(0x1, 1, 1), test::k7950X3DChoices},
      {"a record past the buffer's end", X3D(8).cutShort(1), cut},
      {"a record past the buffer's end, by far", X3D(8).cutShort(1u << 31), cut},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ProcessorTopology topology = row.records.read();
    EXPECT_TRUE(topology.detailed);
    EXPECT_EQ(ListProcessorChoices(topology, "").substr(0, row.lines.size()), row.lines);
  }
}

}  // namespace
}  // namespace tavrolin
