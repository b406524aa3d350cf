#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/processor_topology.h"

namespace tavrolin::linux_backend {

// The processors online under `root` (the machine's own with ""):
// sys/devices/system/cpu/online, or else the count the C library knows;
// nullopt when neither can be had.
std::optional<std::uint64_t> ReadOnlineProcessors(const std::string& root);

// The processors as sysfs describes them, never from clock frequencies
// (favoured cores and the large-cache dies run at other speeds than their
// kind suggests). Under sys/devices/system/cpu, for every online processor N:
// - the level-3 caches: cpuN/cache/index* with `level` 3, each with its
//   `size` and `shared_cpu_list` (not only index3, and no `id`: ARM has none);
// - its core: cpuN/topology/core_cpus_list, or thread_siblings_list on older
//   kernels;
// - the performance cores: sys/devices/cpu_core/cpus where the kernel lists a
//   hybrid processor's, else the processors within 90% of the highest
//   cpuN/cpu_capacity (ARM), else none.
// A file that is missing or unreadable leaves its part out; it never fails.
class SysfsTopology final : public TopologySource {
 public:
  // `root` holds the sys tree: "" for the machine's own, a directory with a
  // copy of another machine's for a test.
  explicit SysfsTopology(std::string root = "") : root_(std::move(root)) {}
  ProcessorTopology describe() override;

 private:
  std::string root_;
};

}  // namespace tavrolin::linux_backend
