#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "diagnostics/handler.h"

namespace tavrolin {

inline constexpr std::string_view kSettingsFileName = "config.ini";
inline constexpr std::string_view kSection = "Config";
inline constexpr std::string_view kKeyInitializeDelay = "InitializeDelay";
inline constexpr std::string_view kKeyOnlineEnabled = "OnlineEnabled";
inline constexpr std::string_view kKeyGame = "Game";
// Read by the Linux program only; the Windows program chooses in its dialog.
inline constexpr std::string_view kKeyProcessors = "CPUs";

inline constexpr std::string_view kSupremeCommander = "SupremeCommander.exe";
inline constexpr std::string_view kForgedAlliance = "ForgedAlliance.exe";

// The default settings file, byte for byte.
inline constexpr std::string_view kDefaultConfig =
    ";Configuration is done by the program and shouldn't be adjusted here.\r\n"
    ";Delete this file if issues arise, the app will make a new one.\r\n"
    "\r\n"
    "[Config]\r\n"
    "InitializeDelay=30\r\n"
    "OnlineEnabled=1\r\n"
    "CPUs=All\r\n"
    "Game=0\r\n";

// The most of config.ini the program reads: a larger file is no settings file
// of ours (a log written over it, a disk image), and reading it whole would
// only cost memory.
inline constexpr std::uint64_t kMaxSettingsBytes = std::uint64_t{1} << 20;

// The delay when a stored one cannot be used.
inline constexpr std::int32_t kDefaultDelayMilliseconds = 30000;

// Value rules. A number is an optional sign and decimal digits; anything else
// (a fraction, inner blanks, grouping) does not convert. The rules throw a
// Failure for a text that does not convert.

// A whole number; Type mismatch for a non-number, Overflow past 64 bits.
std::int64_t NumericValue(std::string_view text);
// NumericValue in 16 bits (Overflow beyond).
std::int16_t ToInteger16(std::string_view text);

// InitializeDelay: the text followed by "000", as milliseconds; 0 means no
// wait. Type mismatch for "" (an empty or missing key), Overflow past 32 bits,
// Invalid property value for a negative delay.
std::int32_t DelayInterval(std::string_view text);

// OnlineEnabled: 0 clears the flag, 1 sets it, any other number leaves it.
void ApplyOnlineEnabled(std::string_view text, bool& onlineAllowed);

// Game at startup: 1 is "ForgedAlliance.exe", any other number
// "SupremeCommander.exe".
std::string_view GameForIndex(std::string_view text);

// Runs one key's value rule; a value that does not convert is reported, with
// the key and its raw text, as a failure of the action `logName`, and
// `fallback` runs.
template <typename Rule, typename Fallback>
void ApplySetting(ErrorLog& log, std::string_view logName, std::string_view key,
                  std::string_view raw, Rule&& rule, Fallback&& fallback) {
  Handler handler(log, ReportHeading(logName));
  handler.variables([key, raw] {
    return ReportVariables{{"Key =", std::string(key)}, {"Value =", std::string(raw)}};
  });
  if (!handler.run(std::forward<Rule>(rule))) std::forward<Fallback>(fallback)();
}

}  // namespace tavrolin
