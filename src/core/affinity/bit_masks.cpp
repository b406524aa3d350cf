#include "affinity/bit_masks.h"

#include "config/settings.h"

namespace tavrolin {

BitMaskTable GetBitMasks(ErrorLog& log) {
  std::int32_t LoopBits = 0;
  std::uint64_t BitMask = 0;
  std::int32_t NumRet = 0;
  Handler handler(log, "Error occurred in GetBitMasks");
  handler.variables([&] {
    return ReportVariables{{"LoopBits =", std::to_string(LoopBits)},
                           {"BitMask =", std::to_string(BitMask)},
                           {"NumRet", std::to_string(NumRet)}};
  });

  BitMaskTable table;
  const bool built = handler.run([&] {
    table.assign(kMaskBits, 0);
    for (LoopBits = 0; LoopBits < static_cast<std::int32_t>(kMaskBits); ++LoopBits) {
      BitMask = std::uint64_t{1} << LoopBits;
      table.at(static_cast<std::size_t>(NumRet)) = BitMask;
      ++NumRet;
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
                                         std::int16_t& numProcessors, Handler& handler) {
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
    numProcessors = *count;
    for (int i = 1; i <= numProcessors; ++i) add(static_cast<std::size_t>(i));
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
