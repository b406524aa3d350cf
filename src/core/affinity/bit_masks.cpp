#include "affinity/bit_masks.h"

#include <algorithm>
#include <bit>

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
                                         std::uint64_t online, std::int16_t& processorCount,
                                         Handler& handler) {
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
    const int highest = online == 0 ? -1 : 63 - std::countl_zero(online);
    int counted = 0;
    for (int n = 0; counted < processorCount; ++n) {
      if (n > highest || (online >> n & 1U) != 0) {
        add(static_cast<std::size_t>(n) + 1);
        ++counted;
      }
    }
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

std::optional<ProcessorList> ParseProcessorList(std::string_view text) {
  ProcessorList list;
  std::size_t at = 0;
  const auto skipBlanks = [&] {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  };
  // A processor number; anything past the mask width counts alike, so that
  // a long run of digits cannot overflow.
  const auto number = [&]() -> std::optional<std::size_t> {
    skipBlanks();
    if (at == text.size() || text[at] < '0' || text[at] > '9') return std::nullopt;
    std::size_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
      value =
          std::min<std::size_t>(value * 10 + static_cast<std::size_t>(text[at] - '0'), kMaskBits);
    }
    skipBlanks();
    return value;
  };
  for (;;) {
    const std::optional<std::size_t> first = number();
    if (!first) return std::nullopt;
    std::size_t last = *first;
    if (at < text.size() && text[at] == '-') {
      ++at;
      const std::optional<std::size_t> end = number();
      if (!end || *end < *first) return std::nullopt;
      last = *end;
    }
    for (std::size_t n = *first; n <= last && n < kMaskBits; ++n) {
      list.processors |= std::uint64_t{1} << n;
    }
    if (last >= kMaskBits) list.pastMaskWidth = true;
    if (at == text.size()) return list;
    if (text[at] != ',') return std::nullopt;
    ++at;
  }
}

ProcessorSelection SelectionOf(std::uint64_t mask) {
  ProcessorSelection selection;
  for (std::size_t n = 0; n < 64 && (mask >> n) != 0; ++n) {
    selection.add((mask >> n & 1U) != 0 ? "True" : "False", std::to_string(n + 1) + "key");
  }
  return selection;
}

}  // namespace tavrolin
