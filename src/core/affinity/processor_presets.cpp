#include "affinity/processor_presets.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <vector>

#include "affinity/bit_masks.h"
#include "config/settings.h"

namespace tavrolin {

namespace {

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameLetters(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

// "96 MB", as cache sizes are told.
std::string SizeText(std::uint64_t bytes) {
  if (bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MB";
  if (bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KB";
  return std::to_string(bytes) + " bytes";
}

// One preset's processors among `online`, and why.
struct Picked {
  std::uint64_t processors;
  std::string reason;
};

Picked LargeCache(const ProcessorTopology& topology, std::uint64_t online) {
  // Caches that differ only in processors that are offline are one cache here.
  std::vector<ProcessorTopology::Cache> caches;
  for (const ProcessorTopology::Cache& cache : topology.level3Caches) {
    const std::uint64_t processors = cache.processors & online;
    if (processors != 0) ProcessorTopology::AddCache(caches, {processors, cache.bytes});
  }
  if (caches.empty()) return {online, "no level-3 cache"};
  const auto bytes = [](const auto& a, const auto& b) { return a.bytes < b.bytes; };
  const auto largest = std::max_element(caches.begin(), caches.end(), bytes);
  const ProcessorTopology::Cache chosen = *largest;
  caches.erase(largest);
  // Only a cache more than twice as large as every other one makes a
  // difference worth giving up the other processors for.
  if (caches.empty()) return {online, "no larger cache"};
  const auto [smallest, next] = std::minmax_element(caches.begin(), caches.end(), bytes);
  if (chosen.bytes <= 2 * next->bytes) return {online, "no larger cache"};
  return {chosen.processors, SizeText(chosen.bytes) + " L3; the others " +
                                 (smallest->bytes == next->bytes ? "" : "up to ") +
                                 SizeText(next->bytes)};
}

Picked PerformanceCores(const ProcessorTopology& topology, std::uint64_t online) {
  const std::uint64_t performance = topology.performance & online;
  if (performance == 0 || performance == online) return {online, "all cores alike"};
  return {performance, "the others are efficiency cores"};
}

Picked OnePerCore(const ProcessorTopology& topology, std::uint64_t online) {
  std::uint64_t picked = 0;
  std::uint64_t covered = 0;
  int cores = 0;
  for (const std::uint64_t core : topology.cores) {
    const std::uint64_t here = core & online & ~covered;
    if (here == 0) continue;
    picked |= here & (~here + 1);  // its lowest-numbered processor
    covered |= core & online;
    ++cores;
  }
  // A processor no core names is a core of its own.
  picked |= online & ~covered;
  cores += std::popcount(online & ~covered);
  return {picked, std::to_string(cores) + (cores == 1 ? " core" : " cores")};
}

struct Preset {
  std::string_view name;
  Picked (*pick)(const ProcessorTopology&, std::uint64_t);
};
constexpr std::array<Preset, 3> kPresets{
    {{kLargeCache, LargeCache}, {kPerformanceCores, PerformanceCores}, {kOnePerCore, OnePerCore}}};

ProcessorChoice ChoosePresets(std::string_view text, const ProcessorTopology& topology,
                              std::uint64_t online) {
  ProcessorChoice choice;
  std::size_t named = 0;  // bit n: kPresets[n], in their own order, each once
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t plus = std::min(text.find('+', at), text.size());
    const std::string_view name = Trimmed(text.substr(at, plus - at));
    at = plus + 1;
    if (SameLetters(name, "All")) continue;  // every processor: changes nothing
    const auto preset = std::find_if(kPresets.begin(), kPresets.end(),
                                     [&](const Preset& p) { return SameLetters(name, p.name); });
    if (preset == kPresets.end()) {
      choice.problem = FailureNumber::kTypeMismatch;
      return choice;
    }
    named |= std::size_t{1} << (preset - kPresets.begin());
  }
  if (!topology.detailed && named != 0) {
    choice.problem = FailureNumber::kTopologyUnknown;
    return choice;
  }
  std::uint64_t processors = online;
  for (std::size_t n = 0; n < kPresets.size(); ++n) {
    if ((named >> n & 1U) == 0) continue;
    const Picked picked = kPresets[n].pick(topology, online);
    processors &= picked.processors;
    choice.presets += (choice.presets.empty() ? "" : "+") + std::string(kPresets[n].name);
    choice.reason += (choice.reason.empty() ? "" : "; ") + picked.reason;
  }
  if (processors == 0) {
    choice = {};
    choice.problem = FailureNumber::kNoProcessorSelected;
    return choice;
  }
  choice.processors = named == 0 ? 0 : processors;
  return choice;
}

ProcessorChoice ChooseList(const ProcessorList& list, std::uint64_t machine) {
  ProcessorChoice choice;
  const std::uint64_t missing = list.processors & ~machine;
  if (missing != 0 || list.pastMaskWidth) {
    choice.problem = FailureNumber::kProcessorsNotHere;
    choice.notHere = missing != 0 ? DescribeMask(missing) : "";
    if (list.pastMaskWidth) {
      choice.notHere += (missing != 0 ? "," : "") + std::to_string(kMaskBits) + " and above";
    }
  }
  choice.processors = list.processors & machine;
  return choice;
}

// A problem as its report describes it.
std::string ProblemText(const ProcessorChoice& choice) {
  return std::string(Describe(*choice.problem)) +
         (choice.notHere.empty() ? "" : ": " + choice.notHere);
}

// "NAME: LIST (REASON)", with what a problem left.
std::string ChoiceLine(std::string_view name, const ProcessorChoice& choice, std::uint64_t online) {
  std::string reason = choice.reason;
  if (choice.problem == FailureNumber::kTypeMismatch) {
    reason = "not a list or preset: every processor";
  } else if (choice.problem) {
    reason = ProblemText(choice);
  }
  const std::uint64_t processors = choice.processors != 0 ? choice.processors : online;
  std::string line =
      std::string(name) + ": " + (processors == 0 ? "all" : DescribeMask(processors));
  if (!reason.empty()) line += " (" + reason + ")";
  return line + "\n";
}

}  // namespace

ProcessorChoice ChooseProcessors(std::string_view text, const ProcessorTopology& topology) {
  const std::string_view value = Trimmed(text);
  // A system that cannot say which processors are online has all of them.
  const std::uint64_t online = topology.online != 0 ? topology.online : ~std::uint64_t{0};
  if (value.empty() || SameLetters(value, "All")) return {};
  const std::optional<ProcessorList> list = ParseProcessorList(value);
  return list ? ChooseList(*list, online) : ChoosePresets(value, topology, online);
}

ProcessorChoice ReadProcessorChoice(ErrorLog& log, std::string_view logName, std::string_view text,
                                    const ProcessorTopology& topology) {
  const ProcessorChoice choice = ChooseProcessors(text, topology);
  Handler handler(log, ReportHeading(logName));
  handler.variables([text] {
    return ReportVariables{{"Key =", std::string(kKeyProcessors)}, {"Value =", std::string(text)}};
  });
  if (choice.problem) handler.report(Failure(*choice.problem, ProblemText(choice)));
  return choice;
}

std::string ListProcessorChoices(const ProcessorTopology& topology, std::string_view configured) {
  ProcessorChoice online;
  online.processors = topology.online;
  std::string text = ChoiceLine("Online", online, 0);
  for (const Preset& preset : kPresets) {
    text += ChoiceLine(preset.name, ChooseProcessors(preset.name, topology), topology.online);
  }
  // The configured value, with what became of it.
  ProcessorChoice choice = ChooseProcessors(configured, topology);
  if (Trimmed(configured).empty()) choice.reason = "not set: every processor";
  return text + ChoiceLine(std::string(kKeyProcessors) + "=" + std::string(Trimmed(configured)),
                           choice, topology.online);
}

}  // namespace tavrolin
