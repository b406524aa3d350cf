#include "sysfs_topology.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string_view>
#include <vector>

#include "affinity/bit_masks.h"
#include "last_error_linux.h"
#include "unique_fd.h"

namespace tavrolin::linux_backend {

namespace {

constexpr std::string_view kCpuDirectory = "/sys/devices/system/cpu";

// A small sysfs file's text without its line break; nullopt when it cannot
// be read.
std::optional<std::string> ReadValue(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  std::string text(4096, '\0');
  std::size_t used = 0;
  for (;;) {
    const ssize_t got = ::read(fd.get(), text.data() + used, text.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0 || (used += static_cast<std::size_t>(got)) == text.size()) break;
  }
  text.resize(used);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// A processor list file ("0-7,16-23"); 0 when it is missing or no list.
std::uint64_t ReadList(const std::string& path) {
  const std::optional<std::string> text = ReadValue(path);
  if (!text) return 0;
  const std::optional<ProcessorList> list = ParseProcessorList(*text);
  return list ? list->processors : 0;
}

// A number with an optional K, M or G ("98304K"); 0 when it is none.
std::uint64_t ReadAmount(const std::string& path) {
  const std::optional<std::string> text = ReadValue(path);
  if (!text || text->empty()) return 0;
  std::uint64_t value = 0;
  std::size_t at = 0;
  for (; at < text->size() && (*text)[at] >= '0' && (*text)[at] <= '9'; ++at) {
    if (value > std::uint64_t{1} << 32) return 0;  // nothing here is that large
    value = value * 10 + static_cast<std::uint64_t>((*text)[at] - '0');
  }
  const std::string_view unit = std::string_view(*text).substr(at);
  if (at == 0) return 0;
  if (unit.empty()) return value;
  if (unit == "K") return value << 10;
  if (unit == "M") return value << 20;
  if (unit == "G") return value << 30;
  return 0;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// The level-3 caches a processor's cache/index* directories name.
void AddLevel3Caches(const std::string& cacheDirectory,
                     std::vector<ProcessorTopology::Cache>& caches) {
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(cacheDirectory.c_str()));
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!std::string_view(entry->d_name).starts_with("index")) continue;
    const std::string index = cacheDirectory + "/" + entry->d_name;
    if (ReadValue(index + "/level") != "3") continue;
    const std::uint64_t processors = ReadList(index + "/shared_cpu_list");
    const std::uint64_t bytes = ReadAmount(index + "/size");
    if (processors != 0 && bytes != 0) ProcessorTopology::AddCache(caches, {processors, bytes});
  }
}

}  // namespace

std::optional<std::uint64_t> ReadOnlineProcessors(const std::string& root) {
  if (const std::uint64_t online = ReadList(root + std::string(kCpuDirectory) + "/online");
      online != 0) {
    return online;
  }
  const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
  if (count < 1) return std::nullopt;
  return count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
}

ProcessorTopology SysfsTopology::describe() {
  ProcessorTopology topology;
  topology.online = ReadOnlineProcessors(root_).value_or(0);
  topology.detailed = true;
  const std::string cpus = root_ + std::string(kCpuDirectory);

  std::vector<std::uint64_t> capacities(64, 0);
  bool everyCapacity = true;
  for (std::size_t n = 0; n < 64; ++n) {
    const std::uint64_t self = std::uint64_t{1} << n;
    if ((topology.online & self) == 0) continue;
    const std::string cpu = cpus + "/cpu" + std::to_string(n);
    AddLevel3Caches(cpu + "/cache", topology.level3Caches);

    std::uint64_t core = ReadList(cpu + "/topology/core_cpus_list");
    if (core == 0) core = ReadList(cpu + "/topology/thread_siblings_list");
    core |= self;
    if (std::find(topology.cores.begin(), topology.cores.end(), core) == topology.cores.end()) {
      topology.cores.push_back(core);
    }

    capacities[n] = ReadAmount(cpu + "/cpu_capacity");
    everyCapacity = everyCapacity && capacities[n] != 0;
  }

  // Where the kernel lists a hybrid processor's performance cores, they are
  // those; without the list, on ARM, the fastest cores by capacity.
  topology.performance = ReadList(root_ + "/sys/devices/cpu_core/cpus");
  if (topology.performance == 0 && everyCapacity && topology.online != 0) {
    const std::uint64_t highest = *std::max_element(capacities.begin(), capacities.end());
    for (std::size_t n = 0; n < 64; ++n) {
      if (capacities[n] != 0 && capacities[n] * 10 >= highest * 9) {
        topology.performance |= std::uint64_t{1} << n;
      }
    }
  }
  SetLastError(0);
  return topology;
}

}  // namespace tavrolin::linux_backend
