#include "topology_win.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "affinity/processor_records.h"

namespace tavrolin::win32 {

namespace {

// The fields the portable reader looks for lie where the system's headers put
// them.
using Record = SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX;
namespace layout = record_layout;
static_assert(offsetof(Record, Relationship) == layout::kRelationship);
static_assert(offsetof(Record, Size) == layout::kSize);
static_assert(offsetof(Record, Processor.GroupCount) == layout::kCoreGroupCount);
static_assert(offsetof(Record, Processor.GroupMask) == layout::kCoreGroupMasks);
// EfficiencyClass is the first byte the headers here call reserved.
static_assert(offsetof(Record, Processor.Reserved) == layout::kCoreEfficiencyClass);
static_assert(offsetof(Record, Cache.Level) == layout::kCacheLevel);
static_assert(offsetof(Record, Cache.CacheSize) == layout::kCacheSize);
static_assert(offsetof(Record, Cache.GroupMask) == layout::kCacheGroupMasks);
// The cache's GroupCount is the last two of its reserved bytes here.
static_assert(offsetof(Record, Cache.Reserved) + sizeof(Record::Cache.Reserved) - 2 ==
              layout::kCacheGroupCount);
static_assert(sizeof(GROUP_AFFINITY) == layout::GroupMaskSize(sizeof(KAFFINITY)));

// GetLogicalProcessorInformationEx, declared here: the 32-bit build's
// headers are XP's. The relationship is an enumeration, passed as an int.
using QueryFunction = BOOL(WINAPI*)(int relationship, void* buffer, DWORD* length);
constexpr int kRelationAll = 0xFFFF;

// GetCurrentProcess()'s documented pseudo handle: calling it would add an
// import that the XP check has not seen.
const HANDLE kThisProcess = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1));

}  // namespace

ProcessorTopology WinTopology::describe() {
  // The processors of the system that a process may be given: for the 32-bit
  // exe under WOW64, 0 to 31 alone.
  DWORD_PTR ofProcess = 0;
  DWORD_PTR ofSystem = 0;
  const std::uint64_t online =
      ::GetProcessAffinityMask(kThisProcess, &ofProcess, &ofSystem) != 0 ? ofSystem : 0;

  const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  const FARPROC found =
      kernel != nullptr ? ::GetProcAddress(kernel, "GetLogicalProcessorInformationEx") : nullptr;
  if (found == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return {.online = online};
  }
  // Through void(*)(): a cast between unrelated function types is an error
  // the compiler cannot see past.
  const auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void (*)()>(found));

  std::vector<std::byte> buffer;
  DWORD length = 0;
  BOOL answered = FALSE;
  // The first call tells the size; a processor coming online in between
  // asks for one more round.
  for (int round = 0; round < 3 && !answered; ++round) {
    buffer.resize(length);
    answered = query(kRelationAll, buffer.empty() ? nullptr : buffer.data(), &length);
    if (!answered && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
  }
  if (!answered) {
    const DWORD error = ::GetLastError();
    ::SetLastError(error != ERROR_SUCCESS ? error : ERROR_INSUFFICIENT_BUFFER);
    return {.online = online};
  }
  ProcessorTopology topology =
      TopologyFromRecords(std::span<const std::byte>(buffer.data(), length), sizeof(KAFFINITY));
  // The system's mask is what a process may be given; it wins where the two
  // disagree.
  if (online != 0) {
    topology.online = (topology.online & online) != 0 ? topology.online & online : online;
  }
  ::SetLastError(ERROR_SUCCESS);
  return topology;
}

}  // namespace tavrolin::win32
