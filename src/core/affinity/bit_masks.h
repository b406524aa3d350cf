#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
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
// exactly "True". Positions past the table are left out, with a report.
// nullopt when there is no mask to compose: the processor count is missing or
// not a number (reported), or the table is empty.
std::optional<std::uint64_t> ComposeMask(const ProcessorSelection& selection,
                                         const BitMaskTable& table, const Environment& environment,
                                         std::int16_t& processorCount, Handler& handler);

// "0-3", "0,2-3": the processors of a mask, for people to read.
std::string DescribeMask(std::uint64_t mask);

}  // namespace tavrolin
