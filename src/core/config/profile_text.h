#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The private-profile (INI) format on text in memory, read and edited the way
// the system's profile functions do it:
// - lines end at LF; blanks (and CR, ^Z) around a line are ignored; empty
//   lines are skipped; a UTF-8 byte-order mark at the start is skipped;
// - "[name]" starts a section (the name is what stands between "[" and the
//   last "]"); only the first section of a name counts;
// - "key=value" is a key, blanks around the key and the value removed; a line
//   without "=" is a key without a value, so comments (";...") never match;
// - section and key names match without regard to ASCII letter case; the first
//   of equal keys wins.
namespace tavrolin::profile_text {

// The value of `key` in `section`, or nullopt when the section, the key or its
// "=" is missing.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key);

// True when the text has a section of that name.
bool HasSection(std::string_view text, std::string_view section);

// Copies `value` into `buffer` as the profile reader hands it back: one pair of
// enclosing quotes (" or ') dropped, cut to buffer.size() - 1 characters,
// NUL-terminated. Returns the number of characters copied.
std::uint32_t CopyValue(std::string_view value, std::span<char> buffer);

// The text with `key` in `section` set to `value`: replaced in the line where
// the key stands, added after the section's last line, or added with a new
// section at the end. Every other byte stays as it was.
std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value);

}  // namespace tavrolin::profile_text
