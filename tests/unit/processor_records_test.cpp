// The Windows detection: the machines of tests/data/topologies as
// GetLogicalProcessorInformationEx describes them, written here field by
// field at the documented offsets, give the presets the processors their
// sysfs trees give. (Wine 8.0 reports EfficiencyClass 0 for every core: only
// records like these show a hybrid part's performance cores.)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "affinity/processor_presets.h"
#include "affinity/processor_records.h"
#include "expected_choices.h"

namespace tavrolin {
namespace {

// Records with masks `width` bytes wide (8 in a 64-bit process; 4 in a
// 32-bit one, which sees the low 32 bits).
class Records {
 public:
  explicit Records(std::size_t width) : width_(width) {}
  // A core: EfficiencyClass at 9, GroupCount at 30, its group mask at 32.
  Records& core(std::uint64_t mask, unsigned efficiencyClass = 0, unsigned group = 0) {
    return add(0, {{9, efficiencyClass, 1}, {30, 1, 2}}, 32, {mask}, group);
  }
  // A cache: Level at 8, CacheSize at 12, GroupCount at 38 (0 before Windows
  // 11: one mask), the masks from 40, of groups 0, 1, ...
  Records& cache(unsigned level, std::uint64_t bytes, std::vector<std::uint64_t> masks,
                 unsigned groupCount = 0) {
    return add(2, {{8, level, 1}, {12, bytes, 4}, {38, groupCount, 2}}, 40, masks, 0);
  }
  // The last record claims a byte more than the buffer holds.
  Records& cutShort() {
    put(last_ + 4, bytes_.size() - last_ + 1, 4);
    return *this;
  }
  ProcessorTopology read() const { return TopologyFromRecords(bytes_, width_); }

 private:
  struct Field {
    std::size_t at;
    std::uint64_t value;
    std::size_t width;
  };
  // Relationship at 0, Size at 4, the fields, then the group masks (mask,
  // group, 6 bytes reserved) from `masksAt`.
  Records& add(unsigned relationship, std::vector<Field> fields, std::size_t masksAt,
               const std::vector<std::uint64_t>& masks, unsigned firstGroup) {
    last_ = bytes_.size();
    const std::size_t size = masksAt + masks.size() * (width_ + 8);
    bytes_.resize(last_ + size);
    fields.push_back({0, relationship, 4});
    fields.push_back({4, size, 4});
    for (std::size_t n = 0; n < masks.size(); ++n) {
      fields.push_back({masksAt + n * (width_ + 8), masks[n], width_});
      fields.push_back({masksAt + n * (width_ + 8) + width_, firstGroup + n, 2});
    }
    for (const Field& field : fields) put(last_ + field.at, field.value, field.width);
    return *this;
  }
  void put(std::size_t at, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) bytes_[at + i] = std::byte((value >> (8 * i)) & 0xFF);
  }
  std::size_t width_;
  std::size_t last_ = 0;
  std::vector<std::byte> bytes_;
};

// `groups` 2: each level-3 cache has a mask for group 1 too (Windows 11).
Records X3D(std::size_t width, unsigned groups = 0) {
  Records records(width);
  for (unsigned n = 0; n < 16; ++n) {
    const std::uint64_t core = (std::uint64_t{1} << n) | (std::uint64_t{1} << (n + 16));
    records.core(core).cache(2, 1 << 20, {core});
  }
  const std::uint64_t other = groups == 2 ? 0xFF00 : 0;
  return records.cache(3, 96 << 20, {0x00FF00FF, other}, groups)
      .cache(3, 32 << 20, {0xFF00FF00, other}, groups);
}

Records I7() {
  Records records(8);
  for (unsigned n = 0; n < 12; n += 2) records.core(std::uint64_t{3} << n, 1);
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
  const struct {
    const char* name;
    Records records;
    std::string lines;  // how ListProcessorChoices begins
  } rows[] = {
      {"7950X3D", X3D(8), test::k7950X3DChoices},
      {"7950X3D, 32-bit", X3D(4), test::k7950X3DChoices},
      {"i7-1370P", I7(), test::kI71370PChoices},
      {"4x Opteron", Opteron(8), test::kOpteronChoices},
      {"4x Opteron, 32-bit under WOW64", Opteron(4),
       "Online: 0-31\nLargeCache: 0-31 (no larger cache)\nPerformanceCores: 0-31 (all cores "
       "alike)\nOnePerCore: 0,2,4,6,8,10,12,14,16,18,20,22,24,26,28,30 (16 cores)\n"},
      // Group 1 is not this process's: its larger cache and faster core change nothing.
      {"7950X3D, processors in group 1", X3D(8, 2).cache(3, 128 << 20, {0, 0xFF}, 2).core(1, 1, 1),
       test::k7950X3DChoices},
      {"a record past the buffer's end", X3D(8).cutShort(),
       "Online: 0-31\nLargeCache: 0-31 (no larger cache)\n"},
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
