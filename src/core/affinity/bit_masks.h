#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "affinity/processor_selection.h"
#include "diagnostics/handler.h"
#include "platform/environment.h"

namespace tavrolin {

// How many processors an affinity mask can name on this build: the width of a
// pointer, as the system's own masks are.
inline constexpr std::size_t kMaskBits = sizeof(void*) * 8;

// Entry n is the mask of processor n alone.
using BitMaskTable = std::vector<std::uint64_t>;

// The table of single-bit masks, kMaskBits entries; empty after a failure,
// which is reported.
BitMaskTable BuildBitMaskTable(ErrorLog& log);

// The text of NUMBER_OF_PROCESSORS, or the empty text.
std::string ProcessorCount(const Environment& environment);

// The final mask: all processors (counted anew from NUMBER_OF_PROCESSORS, left
// in `processorCount`) when `selection` is empty, else those whose item is
// exactly "True". All processors are the first that many of `online` (0:
// not known) and, past its highest, the processors after it, so that a
// machine whose online processors have gaps gets exactly those. Positions
// past the table are left out, with a report. nullopt when there is no mask
// to compose: the processor count is missing or not a number (reported), or
// the table is empty.
std::optional<std::uint64_t> ComposeMask(const ProcessorSelection& selection,
                                         const BitMaskTable& table, const Environment& environment,
                                         std::uint64_t online, std::int16_t& processorCount,
                                         Handler& handler);

// "0-3", "0,2-3": the processors of a mask, for people to read.
std::string DescribeMask(std::uint64_t mask);

// The processors a list such as "0-3,6" names (DescribeMask's form, with
// blanks allowed around numbers, dashes and commas).
struct ProcessorList {
  std::uint64_t processors = 0;  // bit n: processor n
  bool pastMaskWidth = false;    // it names processors from kMaskBits on, which no mask holds
};
// nullopt for a text that is no such list: an empty item, a range that runs
// backwards, anything but digits, dashes, commas and blanks.
std::optional<ProcessorList> ParseProcessorList(std::string_view text);

// A selection of exactly the processors of `mask`, as the options dialog
// makes one: an item for each processor up to the highest one chosen.
ProcessorSelection SelectionOf(std::uint64_t mask);

}  // namespace tavrolin
