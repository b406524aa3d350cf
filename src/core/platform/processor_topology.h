#pragma once

#include <cstdint>
#include <vector>

namespace tavrolin {

// The machine's processors as the system describes them. Bit n of a mask is
// processor n; processors past the mask width are not described. The sets
// are as the system gives them: the presets (affinity/processor_presets.h)
// narrow them to the online processors.
struct ProcessorTopology {
  struct Cache {
    std::uint64_t processors = 0;  // the processors that share it
    std::uint64_t bytes = 0;
  };
  // Every processor under a cache names it: `cache` joins `caches` unless one
  // of the same processors is there, which then keeps the larger size.
  static void AddCache(std::vector<Cache>& caches, Cache cache) {
    for (Cache& known : caches) {
      if (known.processors == cache.processors) {
        known.bytes = known.bytes > cache.bytes ? known.bytes : cache.bytes;
        return;
      }
    }
    caches.push_back(cache);
  }
  // Every processor the system has online; 0 when it cannot say.
  std::uint64_t online = 0;
  // False when the system does not describe caches, cores and kinds of
  // processors at all (Windows before 7): the lists below are empty then.
  bool detailed = false;
  // The level-3 caches, each once.
  std::vector<Cache> level3Caches = {};
  // The performance cores' processors where the system names them (a hybrid
  // processor); 0 where it does not, where every core is alike.
  std::uint64_t performance = 0;
  // Each physical core's processors, each core once; empty when the system
  // does not say.
  std::vector<std::uint64_t> cores = {};
};

// Where the description comes from: sysfs on Linux,
// GetLogicalProcessorInformationEx on Windows.
class TopologySource {
 public:
  virtual ~TopologySource() = default;
  // What the system tells; a description that is not `detailed` leaves the
  // reason in the last error. Read once at startup: it costs some hundred
  // file reads on a large machine.
  virtual ProcessorTopology describe() = 0;
};

}  // namespace tavrolin
