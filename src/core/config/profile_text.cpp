#include "config/profile_text.h"

#include <algorithm>
#include <cstddef>

namespace tavrolin::profile_text {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1A';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

// One non-empty line of the file. Positions are offsets into the whole text.
struct Line {
  bool isSection = false;
  std::string_view name;                  // section or key name
  std::optional<std::string_view> value;  // keys with "=" only
  std::size_t contentBegin = 0;           // the trimmed line
  std::size_t contentEnd = 0;
  std::size_t next = 0;  // start of the following line
  bool hasLineBreak = false;
};

// Walks the non-empty lines of a profile text.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {
    if (text_.substr(0, kByteOrderMark.size()) == kByteOrderMark) pos_ = kByteOrderMark.size();
  }

  std::optional<Line> next() {
    while (pos_ < text_.size()) {
      const std::size_t begin = pos_;
      const std::size_t lf = text_.find('\n', begin);
      Line line;
      line.hasLineBreak = lf != std::string_view::npos;
      line.next = line.hasLineBreak ? lf + 1 : text_.size();
      pos_ = line.next;

      const std::string_view raw = text_.substr(begin, line.next - begin);
      const std::string_view content = Trim(raw);
      if (content.empty()) continue;
      line.contentBegin = static_cast<std::size_t>(content.data() - text_.data());
      line.contentEnd = line.contentBegin + content.size();

      const std::size_t close = content.rfind(']');
      if (content.front() == '[' && close != std::string_view::npos) {
        line.isSection = true;
        line.name = content.substr(1, close - 1);
        return line;
      }
      const std::size_t equals = content.find('=');
      if (equals == std::string_view::npos) {
        line.name = content;
      } else {
        line.name = Trim(content.substr(0, equals));
        line.value = Trim(content.substr(equals + 1));
      }
      return line;
    }
    return std::nullopt;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// Where a key stands, or where it would be added.
struct Place {
  bool sectionFound = false;
  std::optional<Line> key;       // the first key of that name in the section
  std::optional<Line> lastLine;  // the section's last line (its header at least)
};

Place Locate(std::string_view text, std::string_view section, std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  Place place;
  Lines lines(text);
  while (std::optional<Line> line = lines.next()) {
    if (!place.sectionFound) {
      if (line->isSection && EqualNoCase(line->name, section)) {
        place.sectionFound = true;
        place.lastLine = line;
      }
      continue;
    }
    if (line->isSection) break;  // only the first section of that name counts
    place.lastLine = line;
    if (!place.key && EqualNoCase(line->name, key)) place.key = line;
  }
  return place;
}

}  // namespace

std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
  if (Trim(key).empty()) return std::nullopt;
  const Place place = Locate(text, section, key);
  if (!place.key) return std::nullopt;
  return place.key->value;
}

bool HasSection(std::string_view text, std::string_view section) {
  return Locate(text, section, "").sectionFound;
}

std::uint32_t CopyValue(std::string_view value, std::span<char> buffer) {
  if (buffer.empty()) return 0;
  bool quoted = false;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    quoted = true;
    value.remove_prefix(1);
  }
  const std::size_t room = buffer.size() - 1;
  std::size_t length = std::min(value.size(), room);
  // The closing quote goes only when the whole value fits.
  if (quoted && length == value.size()) --length;
  std::copy_n(value.data(), length, buffer.data());
  buffer[length] = '\0';
  return static_cast<std::uint32_t>(length);
}

std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  const Place place = Locate(text, section, key);
  std::string result(text);

  if (place.key) {
    // Keep the key as written and whatever surrounds the line.
    const std::string line = std::string(place.key->name) + "=" + std::string(value);
    result.replace(place.key->contentBegin, place.key->contentEnd - place.key->contentBegin, line);
    return result;
  }

  const std::string keyLine = std::string(key) + "=" + std::string(value) + "\r\n";
  if (place.sectionFound) {
    const Line& last = *place.lastLine;
    const std::string insert = (last.hasLineBreak ? "" : "\r\n") + keyLine;
    result.insert(last.next, insert);
    return result;
  }

  if (!result.empty() && result.back() != '\n') result += "\r\n";
  result += "[" + std::string(section) + "]\r\n" + keyLine;
  return result;
}

}  // namespace tavrolin::profile_text
