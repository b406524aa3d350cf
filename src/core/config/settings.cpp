#include "config/settings.h"

#include <limits>
#include <string>

namespace tavrolin {

std::int64_t NumericValue(std::string_view text) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) throw Failure(FailureNumber::kTypeMismatch);
  std::uint64_t magnitude = 0;
  constexpr std::uint64_t kLimit = std::numeric_limits<std::int64_t>::max();
  for (const char c : digits) {
    if (c < '0' || c > '9') throw Failure(FailureNumber::kTypeMismatch);
    const auto digit = static_cast<std::uint64_t>(c - '0');
    // Checked before it happens: a wrapped product could come back small.
    if (magnitude > (kLimit - digit) / 10) throw Failure(FailureNumber::kOverflow);
    magnitude = magnitude * 10 + digit;
  }
  const auto value = static_cast<std::int64_t>(magnitude);
  return negative ? -value : value;
}

std::int16_t ToInteger16(std::string_view text) {
  const std::int64_t value = NumericValue(text);
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    throw Failure(FailureNumber::kOverflow);
  }
  return static_cast<std::int16_t>(value);
}

std::int32_t DelayInterval(std::string_view text) {
  // An empty delay is no number: it is refused like any other, rather than
  // read as "000", a delay that would never end.
  const std::int64_t seconds = NumericValue(text);
  constexpr std::int64_t kMaxSeconds = std::numeric_limits<std::int32_t>::max() / 1000;
  if (seconds > kMaxSeconds || seconds < -kMaxSeconds) throw Failure(FailureNumber::kOverflow);
  if (seconds < 0) throw Failure(FailureNumber::kInvalidPropertyValue);
  return static_cast<std::int32_t>(seconds * 1000);
}

void ApplyOnlineEnabled(std::string_view text, bool& onlineAllowed) {
  const std::int64_t value = NumericValue(text);
  if (value == 0) onlineAllowed = false;
  if (value == 1) onlineAllowed = true;
}

std::string_view GameForIndex(std::string_view text) {
  return NumericValue(text) == 1 ? kForgedAlliance : kSupremeCommander;
}

}  // namespace tavrolin
