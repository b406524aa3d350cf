#include "affinity/processor_records.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace tavrolin {

namespace {

// A little-endian field of `bytes` at `at`; the caller keeps within them.
std::uint64_t Field(std::span<const std::byte> bytes, std::size_t at, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;) {
    value = value << 8 | static_cast<std::uint64_t>(bytes[at + i]);
  }
  return value;
}

// The union of the group-0 masks of `count` group masks from `at` in
// `record`; nullopt when they run past it.
std::optional<std::uint64_t> GroupZeroMask(std::span<const std::byte> record, std::size_t at,
                                           std::size_t count, std::size_t maskBytes) {
  const std::size_t size = record_layout::GroupMaskSize(maskBytes);
  if (at + count * size > record.size()) return std::nullopt;
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i < count; ++i, at += size) {
    if (Field(record, at + maskBytes, 2) == 0) mask |= Field(record, at, maskBytes);
  }
  return mask;
}

}  // namespace

ProcessorTopology TopologyFromRecords(std::span<const std::byte> records, std::size_t maskBytes) {
  namespace layout = record_layout;
  ProcessorTopology topology;
  topology.detailed = true;
  maskBytes = std::min<std::size_t>(maskBytes, 8);
  std::array<std::uint64_t, 256> coresOfClass{};  // each efficiency class's processors

  for (std::size_t at = 0; at + layout::kBody <= records.size();) {
    const auto size = static_cast<std::size_t>(Field(records, at + layout::kSize, 4));
    if (size < layout::kBody || size > records.size() - at) break;
    const std::span<const std::byte> record = records.subspan(at, size);
    at += size;

    const std::uint64_t relationship = Field(record, layout::kRelationship, 4);
    if (relationship == layout::kCore && size >= layout::kCoreGroupMasks) {
      const auto count = static_cast<std::size_t>(Field(record, layout::kCoreGroupCount, 2));
      const std::optional<std::uint64_t> mask =
          GroupZeroMask(record, layout::kCoreGroupMasks, count, maskBytes);
      if (!mask || *mask == 0) continue;
      topology.online |= *mask;
      topology.cores.push_back(*mask);
      coresOfClass[static_cast<std::size_t>(Field(record, layout::kCoreEfficiencyClass, 1))] |=
          *mask;
    } else if (relationship == layout::kCache && size >= layout::kCacheGroupMasks &&
               Field(record, layout::kCacheLevel, 1) == 3) {
      const auto count = static_cast<std::size_t>(Field(record, layout::kCacheGroupCount, 2));
      const std::optional<std::uint64_t> mask = GroupZeroMask(
          record, layout::kCacheGroupMasks, std::max<std::size_t>(count, 1), maskBytes);
      if (!mask || *mask == 0) continue;
      ProcessorTopology::AddCache(topology.level3Caches,
                                  {*mask, Field(record, layout::kCacheSize, 4)});
    }
  }
  // A higher class is a faster, less frugal core.
  const auto classes = std::count_if(coresOfClass.begin(), coresOfClass.end(),
                                     [](std::uint64_t cores) { return cores != 0; });
  const auto highest = std::find_if(coresOfClass.rbegin(), coresOfClass.rend(),
                                    [](std::uint64_t cores) { return cores != 0; });
  if (classes >= 2) topology.performance = *highest;
  return topology;
}

}  // namespace tavrolin
