#pragma once

#include <cstddef>
#include <span>

#include "platform/processor_topology.h"

namespace tavrolin {

// Where the fields lie in the records GetLogicalProcessorInformationEx fills
// its buffer with (SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX), in bytes from a
// record's start. The Windows backend checks them against the system's
// headers where those have the field; EfficiencyClass and the cache's
// GroupCount are newer than the headers of the cross compiler.
namespace record_layout {
inline constexpr std::size_t kRelationship = 0;  // 4 bytes
inline constexpr std::size_t kSize = 4;          // 4 bytes: the whole record's
inline constexpr std::size_t kBody = 8;
// A core (relationship 0).
inline constexpr std::size_t kCoreEfficiencyClass = kBody + 1;  // 1 byte
inline constexpr std::size_t kCoreGroupCount = kBody + 22;      // 2 bytes
inline constexpr std::size_t kCoreGroupMasks = kBody + 24;
// A cache (relationship 2).
inline constexpr std::size_t kCacheLevel = kBody + 0;        // 1 byte
inline constexpr std::size_t kCacheSize = kBody + 4;         // 4 bytes
inline constexpr std::size_t kCacheGroupCount = kBody + 30;  // 2 bytes; 0 before Windows 11: one
inline constexpr std::size_t kCacheGroupMasks = kBody + 32;
// A group mask (GROUP_AFFINITY): the mask, as wide as a pointer of the
// process, then the group's number (2 bytes) and 6 bytes reserved.
inline constexpr std::size_t GroupMaskSize(std::size_t maskBytes) {
  return maskBytes + 8;
}

inline constexpr unsigned kCore = 0;
inline constexpr unsigned kCache = 2;
}  // namespace record_layout

// The description those records give of processor group 0, the one a
// process's affinity mask addresses. `maskBytes` is the width of their masks:
// 8 in a 64-bit process, 4 in a 32-bit one, which under WOW64 has processors
// 0 to 31 only. The online processors are the cores' processors; the
// performance cores those of the highest EfficiencyClass where the cores have
// two or more. A record that runs past the buffer ends the reading, one too
// short for its fields is passed over.
ProcessorTopology TopologyFromRecords(std::span<const std::byte> records, std::size_t maskBytes);

}  // namespace tavrolin
