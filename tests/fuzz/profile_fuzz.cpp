// libFuzzer target: the private-profile reader and writer and the value rules
// on arbitrary bytes. The first input byte picks the key; the rest is the file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/profile_text.h"
#include "config/settings.h"

namespace {

constexpr std::array<std::string_view, 5> kKeys = {"InitializeDelay", "OnlineEnabled", "Game",
                                                   "CPUs", "initializedelay"};

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  }
  return true;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// A value rule either gives a value or throws a Failure: nothing else.
template <typename Rule>
void TryRule(Rule&& rule) {
  try {
    rule();
  } catch (const tavrolin::Failure& failure) {
    Check(!failure.description().empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view key = kKeys[data[0] % kKeys.size()];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  using namespace tavrolin;

  std::array<char, 255> buffer{};
  const auto found = profile_text::FindValue(text, "Config", key);
  const std::uint32_t copied = profile_text::CopyValue(found.value_or(""), buffer);
  Check(copied <= 254 && buffer[copied] == '\0');
  const std::string value(buffer.data(), copied);

  TryRule([&] {
    const std::int32_t ms = DelayInterval(value);
    Check(ms >= 0 && ms % 1000 == 0);
  });
  TryRule([&] {
    bool flag = false;
    ApplyOnlineEnabled(value, flag);
  });
  TryRule([&] {
    const std::string_view game = GameForIndex(value);
    Check(game == kSupremeCommander || game == kForgedAlliance);
  });

  // A write is read back as written (values the format keeps as they are:
  // no blanks around them, no enclosing quotes, no line breaks), and the
  // file's other keys keep their values.
  const std::string newValue = "v" + std::to_string(size);
  const std::string updated = profile_text::SetValue(text, "Config", key, newValue);
  const auto readBack = profile_text::FindValue(updated, "Config", key);
  Check(readBack.has_value() && *readBack == newValue);
  for (const std::string_view other : kKeys) {
    if (SameKey(other, key)) continue;
    Check(profile_text::FindValue(updated, "Config", other) ==
          profile_text::FindValue(text, "Config", other));
  }
  return 0;
}
