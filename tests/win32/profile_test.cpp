// The system's private-profile functions against the portable reader and
// writer that the other builds use: on the same files they must give the same
// values, and writes must leave the same keys, values and comments in the same
// order.
//
// Two differences of Wine's functions (8.0) are left out on purpose:
// - A write makes Wine write the whole file anew: every line trimmed, CR LF
//   line ends, empty lines dropped. The portable writer, like Windows, changes
//   only the line concerned. The files compare equal once normalised so.
// - A quoted value whose text without the opening quote is exactly one
//   character shorter than the buffer loses its last character under Wine
//   ("\"1\"" into 2 bytes gives "" where the portable reader gives "1"). The
//   program reads into 255 bytes, so only a 254-character quoted value would
//   show it.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config/profile_text.h"
#include "config/settings.h"
#include "files_win.h"
#include "win_testing.h"

namespace tavrolin::win32 {
namespace {

using testing::ReadAll;
using testing::TempDirectory;

struct Sample {
  const char* name;
  std::optional<std::string> text;  // none: no file
};

const std::string k300(300, '7');

std::vector<Sample> Corpus() {
  return {
      {"default", std::string(kDefaultConfig)},
      {"letter case", "[CONFIG]\r\ninitializedelay=20\r\nGAME=1\r\n"},
      {"equal keys", "[Config]\r\nGame=1\r\nGame=0\r\nInitializeDelay=60\r\n"},
      {"equal sections",
       "[Config]\r\nGame=1\r\n[Other]\r\nx=1\r\n[config]\r\nGame=0\r\nCPUs=2\r\n"},
      {"comments", "; Game=9\r\n[Config]\r\n;Game=8\r\nGame=1\r\n;InitializeDelay=5\r\n"},
      {"quotes",
       "[Config]\r\nGame=\"1\"\r\nInitializeDelay='20'\r\nOnlineEnabled=\"1\r\n"
       "CPUs=\"\"\r\nOther=\" spaced \"\r\nMixed=\"1'\r\n"},
      {"blanks",
       "  [Config]  \r\n  Game  =  1  \r\n\tInitializeDelay\t=\t20\t\r\n\r\n\r\n"
       "OnlineEnabled =\r\nCPUs= All Of Them \r\n"},
      {"LF only", "[Config]\nGame=1\nInitializeDelay=60\n"},
      {"no final line end", "[Config]\r\nGame=1\r\nInitializeDelay=60"},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF[Config]\r\nGame=1\r\n"},
      {"300-character value", "[Config]\r\nInitializeDelay=" + k300 + "\r\nGame=1\r\n"},
      {"key without equals sign", "[Config]\r\nGame\r\nInitializeDelay=20\r\n"},
      {"equals in the value", "[Config]\r\nCPUs=a=b=c\r\nGame==1\r\n"},
      {"text after the section", "[Config] ; main\r\nGame=1\r\n"},
      {"no section", "Game=1\r\nInitializeDelay=20\r\n"},
      {"empty file", ""},
      {"other section only", "[Settings]\r\nGame=1\r\n"},
      {"inline comment", "[Config]\r\nGame=1 ; forged alliance\r\n"},
      {"key with inner blanks", "[Config]\r\nInitialize Delay=5\r\nInitializeDelay=6\r\n"},
      {"no file", std::nullopt},
  };
}

struct Query {
  const char* section;
  const char* key;
};

constexpr Query kQueries[] = {
    {"Config", "InitializeDelay"},
    {"Config", "OnlineEnabled"},
    {"Config", "Game"},
    {"Config", "CPUs"},
    {"config", "game"},
    {"Config", "Other"},
    {"Config", "Mixed"},
    {"Config", "Missing"},
    {"Missing", "Game"},
    {"Other", "x"},
    {"Settings", "Game"},
    {"Config", "Initialize Delay"},
};

void WriteFile(const std::string& path, const std::optional<std::string>& text) {
  if (text) std::ofstream(path, std::ios::binary | std::ios::trunc) << *text;
}

// The length copied and the text in the buffer.
using Read = std::pair<std::uint32_t, std::string>;

Read SystemRead(const std::string& path, const Query& query, const std::string& fallback,
                std::size_t size) {
  WinPrivateProfile profile;
  std::vector<char> buffer(size, '#');
  const std::uint32_t length = profile.getString(query.section, query.key, fallback, buffer, path);
  return {length, std::string(buffer.data())};
}

// The one buffer size at which Wine cuts a quoted value differently (above).
bool WineCutsQuotedValue(const std::optional<std::string>& text, const Query& query,
                         std::size_t size) {
  if (!text) return false;
  const auto value = profile_text::FindValue(*text, query.section, query.key);
  if (!value || value->size() < 2) return false;
  const char quote = value->front();
  return (quote == '"' || quote == '\'') && value->back() == quote && size == value->size() - 1;
}

Read PortableRead(const std::optional<std::string>& text, const Query& query,
                  const std::string& fallback, std::size_t size) {
  std::vector<char> buffer(size, '#');
  std::optional<std::string_view> value;
  if (text) value = profile_text::FindValue(*text, query.section, query.key);
  const std::uint32_t length = profile_text::CopyValue(value.value_or(fallback), buffer);
  return {length, std::string(buffer.data())};
}

TEST(PrivateProfile, ReadsGiveWhatThePortableReaderGives) {
  TempDirectory directory;
  int index = 0;
  for (const Sample& sample : Corpus()) {
    // A file of its own each: the system may keep read files cached.
    const std::string path = directory.file("read" + std::to_string(++index) + ".ini");
    WriteFile(path, sample.text);
    for (const Query& query : kQueries) {
      for (const std::size_t size : {255U, 4U, 2U}) {
        if (WineCutsQuotedValue(sample.text, query, size)) continue;
        for (const std::string fallback : {"", "dflt"}) {
          SCOPED_TRACE(std::string(sample.name) + ": [" + query.section + "] " + query.key +
                       ", buffer " + std::to_string(size) + ", default \"" + fallback + "\"");
          EXPECT_EQ(SystemRead(path, query, fallback, size),
                    PortableRead(sample.text, query, fallback, size));
        }
      }
    }
  }
}

struct Write {
  const char* section;
  const char* key;
  const char* value;
};

struct WriteCase {
  const char* name;
  std::optional<std::string> before;  // none: no file
  std::vector<Write> writes;
};

// The file's lines trimmed, without empty ones, each ended by LF: what is left
// when Wine's rewrite (above) and an in-place edit are set side by side.
std::string Normalised(const std::string& text) {
  std::istringstream lines(text);
  std::string result;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t first = line.find_first_not_of(" \t");
    const std::size_t last = line.find_last_not_of(" \t\r");
    if (last != std::string::npos) result += line.substr(first, last + 1 - first) + "\n";
  }
  return result;
}

std::vector<WriteCase> WriteCases() {
  return {
      {"replace in the default file",
       std::string(kDefaultConfig),
       {{"Config", "InitializeDelay", "60"},
        {"Config", "OnlineEnabled", "0"},
        {"Config", "Game", "1"}}},
      {"replace keeps the key's own spelling", "[CONFIG]\r\ngame=0\r\n", {{"Config", "Game", "1"}}},
      {"replace the first of equal keys",
       "[Config]\r\nGame=0\r\nGame=5\r\n",
       {{"Config", "Game", "1"}}},
      {"add a key to its section",
       "[Config]\r\nGame=0\r\n[Other]\r\nx=1\r\n",
       {{"Config", "InitializeDelay", "20"}}},
      {"add a section", "[Other]\r\nx=1\r\n", {{"Config", "Game", "1"}}},
      {"into a file without a final line end",
       "[Config]\r\nGame=0",
       {{"Config", "InitializeDelay", "20"}}},
      {"create the file", std::nullopt, {{"Config", "Game", "1"}, {"Config", "CPUs", "All"}}},
      {"long value", "[Config]\r\nGame=0\r\n", {{"Config", "CPUs", k300.c_str()}}},
      {"the same value again", std::string(kDefaultConfig), {{"Config", "Game", "0"}}},
      {"blank lines inside sections",
       "[Config]\r\nGame=0\r\n\r\n[Other]\r\n\r\nx=1\r\n\r\n",
       {{"Config", "CPUs", "All"}, {"Other", "y", "2"}}},
      {"LF-only file", "[Config]\nGame=0\n[Other]\nx=1\n", {{"Config", "Game", "1"}}},
      {"blanks around the key", "[Config]\r\n  Game  =  0  \r\n", {{"Config", "Game", "1"}}},
      {"comment lines",
       "[Config]\r\n;note\r\nGame=0\r\n; end\r\n",
       {{"Config", "InitializeDelay", "20"}}},
  };
}

TEST(PrivateProfile, WritesLeaveTheSameKeysValuesAndComments) {
  TempDirectory directory;
  int index = 0;
  for (const WriteCase& sample : WriteCases()) {
    SCOPED_TRACE(sample.name);
    const std::string path = directory.file("write" + std::to_string(++index) + ".ini");
    WriteFile(path, sample.before);
    std::string portable = sample.before.value_or("");
    WinPrivateProfile profile;
    for (const Write& write : sample.writes) {
      ASSERT_TRUE(profile.writeString(write.section, write.key, write.value, path));
      portable = profile_text::SetValue(portable, write.section, write.key, write.value);
    }
    EXPECT_EQ(Normalised(ReadAll(path)), Normalised(portable));
    for (const Query& query : kQueries) {
      SCOPED_TRACE(std::string("[") + query.section + "] " + query.key);
      EXPECT_EQ(SystemRead(path, query, "", 255), PortableRead(portable, query, "", 255));
    }
  }
}

}  // namespace
}  // namespace tavrolin::win32
