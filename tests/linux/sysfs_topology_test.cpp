// The processors as sysfs describes them, read from copies of real machines'
// trees (tests/data/topologies), and what the CPUs presets pick there: the
// lines `tavrolin --list-cpus` prints.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "affinity/processor_presets.h"
#include "expected_choices.h"
#include "sysfs_topology.h"

namespace tavrolin::linux_backend {
namespace {

namespace fs = std::filesystem;

// Every file below sys/devices whose path matches `pattern` (fnmatch) gets
// `text`, or goes where `text` is nullptr; a pattern may name a new file in a
// directory that is there.
struct Change {
  const char* pattern;
  const char* text;
};

struct TreeCase {
  const char* name;
  const char* tree;
  std::vector<Change> changes;
  const char* configured;  // config.ini's CPUs
  const char* lines;
};

// A copy of `tree` with `changes` made, in a scratch directory of its own.
std::string ChangedCopy(const TreeCase& row) {
  const fs::path root = fs::path(testing::TempDir()) / ("topology-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::copy(fs::path(TAVROLIN_TOPOLOGIES) / row.tree, root, fs::copy_options::recursive);
  const fs::path devices = root / "sys/devices";
  for (const Change& change : row.changes) {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(devices)) {
      const std::string path = entry.path().lexically_relative(devices).string();
      paths.insert(entry.is_directory() ? path + "/" + fs::path(change.pattern).filename().string()
                                        : path);
    }
    for (const std::string& path : paths) {
      if (::fnmatch(change.pattern, path.c_str(), FNM_PATHNAME) != 0) continue;
      if (change.text == nullptr) {
        fs::remove(devices / path);
      } else {
        std::ofstream(devices / path) << change.text << '\n';
      }
    }
  }
  return root.string();
}

// Each row: lines --list-cpus must print, the whole of them on the trees as
// they are.
TEST(SysfsTopology, EachTreeGivesThePresetsItsOwnProcessors) {
  const std::string x3d =
      std::string(test::k7950X3DChoices) +
      "CPUs=LargeCache+OnePerCore: 0-7 (96 MB L3; the others 32 MB; 16 cores)\n";
  const std::string i7 = std::string(test::kI71370PChoices) +
                         "CPUs=performancecores: 0-11 (the others are efficiency cores)\n";
  const std::string opteron = std::string(test::kOpteronChoices) + "CPUs=All: 0-63\n";
  const TreeCase rows[] = {
      {"7950X3D", "7950X3D", {}, "LargeCache+OnePerCore", x3d.c_str()},
      {"i7-1370P", "i7-1370P", {}, "performancecores", i7.c_str()},
      {"four sockets, equal caches", "4x-opteron-equal-l3", {}, "All", opteron.c_str()},
      {"no level-3 cache",
       "7950X3D",
       {{"system/cpu/cpu*/cache/index3/level", "2"}},
       "",
       "LargeCache: 0-31 (no level-3 cache)\nCPUs=: 0-31 (not set: every processor)\n"},
      {"offline processors",
       "7950X3D",
       {{"system/cpu/online", "0-3,8-11"}},
       "LargeCache",
       "Online: 0-3,8-11\nOnePerCore: 0-3,8-11 (8 cores)\n"
       "CPUs=LargeCache: 0-3 (96 MB L3; the others 32 MB)\n"},
      // Siblings from the older list; the cache's size from the others under it.
      {"missing files",
       "7950X3D",
       {{"system/cpu/cpu*/topology/core_cpus_list", nullptr},
        {"system/cpu/cpu8/cache/index3/size", nullptr}},
       "LargeCache+OnePerCore",
       x3d.c_str()},
      // No performance-core list: on ARM, the cores within 90% of the highest
      // capacity. No core lists: each processor a core of its own.
      {"capacities, no core lists",
       "i7-1370P",
       {{"cpu_core/cpus", nullptr},
        {"system/cpu/cpu*/topology/*", nullptr},
        {"system/cpu/cpu*/cpu_capacity", "1024"},
        {"system/cpu/cpu1[3-9]/cpu_capacity", "921"},
        {"system/cpu/cpu12/cpu_capacity", "922"}},
       "0-3,20",
       "PerformanceCores: 0-12 (the others are efficiency cores)\nOnePerCore: 0-19 (20 cores)\n"
       "CPUs=0-3,20: 0-3 (The CPUs list names processors this machine does not have: 20)\n"},
  };
  for (const TreeCase& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string tree = std::string(TAVROLIN_TOPOLOGIES) + "/" + row.tree;
    const std::string root = row.changes.empty() ? tree : ChangedCopy(row);
    const std::string text = ListProcessorChoices(SysfsTopology(root).describe(), row.configured);
    std::istringstream lines(row.lines);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_NE(text.find(line + "\n"), std::string::npos) << line << " in\n" << text;
    }
    if (root != tree) fs::remove_all(root);
  }
}

}  // namespace
}  // namespace tavrolin::linux_backend
