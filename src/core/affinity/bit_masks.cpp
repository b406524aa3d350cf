#include "affinity/bit_masks.h"

#include "config/settings.h"

namespace tavrolin {

namespace {
// What ErrorLog.txt calls the table's making, and the names of its report's
// variable lines ("NumRet" has never had a " =").
constexpr std::string_view kBitMasksLogName = "GetBitMasks";
constexpr std::string_view kBitVariable = "LoopBits =";
constexpr std::string_view kMaskVariable = "BitMask =";
constexpr std::string_view kStoredVariable = "NumRet";
}  // namespace

BitMaskTable BuildBitMaskTable(ErrorLog& log) {
  std::int32_t bit = 0;
  std::uint64_t mask = 0;
  std::int32_t stored = 0;
  Handler handler(log, ReportHeading(kBitMasksLogName));
  handler.variables([&] {
    return ReportVariables{{kBitVariable, std::to_string(bit)},
                           {kMaskVariable, std::to_string(mask)},
                           {kStoredVariable, std::to_string(stored)}};
  });

  BitMaskTable table;
  const bool built = handler.run([&] {
    table.assign(kMaskBits, 0);
    for (bit = 0; bit < static_cast<std::int32_t>(kMaskBits); ++bit) {
      mask = std::uint64_t{1} << bit;
      table.at(static_cast<std::size_t>(stored)) = mask;
      ++stored;
    }
  });
  // The table is handed over only when it was built to its end.
  return built ? table : BitMaskTable{};
}

std::string ProcessorCount(const Environment& environment) {
  return environment.variable("NUMBER_OF_PROCESSORS").value_or("");
}

std::optional<std::uint64_t> ComposeMask(const ProcessorSelection& selection,
                                         const BitMaskTable& table, const Environment& environment,
                                         std::int16_t& processorCount, Handler& handler) {
  if (table.empty()) return std::nullopt;  // its failure is reported already
  std::uint64_t mask = 0;
  bool beyondTable = false;
  const auto add = [&](std::size_t position) {
    if (position - 1 < table.size()) {
      mask |= table[position - 1];
    } else {
      beyondTable = true;
    }
  };

  if (selection.count() < 1) {
    std::optional<std::int16_t> count;
    handler.run([&] {
      try {
        count = ToInteger16(ProcessorCount(environment));
      } catch (const Failure&) {
        throw Failure(FailureNumber::kProcessorCountUnknown);
      }
    });
    if (!count) return std::nullopt;
    processorCount = *count;
    for (int i = 1; i <= processorCount; ++i) add(static_cast<std::size_t>(i));
  } else {
    for (std::size_t i = 1; i <= selection.count(); ++i) {
      if (selection.item(i) == "True") add(i);
    }
  }
  if (beyondTable) handler.report(Failure(FailureNumber::kBeyondMaskWidth));
  return mask;
}

std::string DescribeMask(std::uint64_t mask) {
  std::string text;
  std::size_t n = 0;
  while (n < 64) {
    if ((mask >> n & 1U) == 0) {
      ++n;
      continue;
    }
    std::size_t last = n;
    while (last + 1 < 64 && (mask >> (last + 1) & 1U) != 0) ++last;
    if (!text.empty()) text += ',';
    text += std::to_string(n);
    if (last > n) text += '-' + std::to_string(last);
    n = last + 1;
  }
  return text.empty() ? "none" : text;
}

}  // namespace tavrolin
