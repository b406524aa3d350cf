#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "diagnostics/error_log.h"
#include "diagnostics/failure.h"
#include "platform/processor_topology.h"

namespace tavrolin {

// The presets a CPUs value may name, as the lines that show them spell them.
inline constexpr std::string_view kLargeCache = "LargeCache";
inline constexpr std::string_view kPerformanceCores = "PerformanceCores";
inline constexpr std::string_view kOnePerCore = "OnePerCore";

// What a CPUs value chooses on a machine.
struct ProcessorChoice {
  // 0: every processor. It is 0 after every problem but a list naming
  // processors the machine does not have, which keeps those that are here.
  std::uint64_t processors = 0;
  // The presets as this program spells them ("LargeCache+OnePerCore");
  // empty for All and for a list.
  std::string presets;
  // Why the presets chose what they did, for people ("96 MB L3; the others
  // 32 MB"); empty for All and for a list.
  std::string reason;
  // What was wrong with the value, as its report numbers it: kTypeMismatch
  // (neither All, a list such as "0-3,6", nor preset names joined by "+"),
  // kProcessorsNotHere (`notHere`: "5-7", "64 and above"),
  // kNoProcessorSelected, kTopologyUnknown (presets on a system that does not
  // describe its processors).
  std::optional<FailureNumber> problem;
  std::string notHere;
};

// The CPUs key's value over `topology`: "All" (or nothing) is every
// processor; a list names processors; LargeCache, PerformanceCores and
// OnePerCore, joined by "+", are the processors every one of them selects,
// among the online ones. Names and All are matched in any letter case.
ProcessorChoice ChooseProcessors(std::string_view text, const ProcessorTopology& topology);

// ChooseProcessors, with its problem, if any, reported once as a failure of
// the action `logName`, with the key and `text`.
ProcessorChoice ReadProcessorChoice(ErrorLog& log, std::string_view logName, std::string_view text,
                                    const ProcessorTopology& topology);

// What `tavrolin --list-cpus` prints: the online processors, then a line per
// preset and one for `configured` (the CPUs value of config.ini), each as
// "NAME: LIST (REASON)", the list in the CPUs value's own form.
std::string ListProcessorChoices(const ProcessorTopology& topology, std::string_view configured);

}  // namespace tavrolin
