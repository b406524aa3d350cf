#include <gtest/gtest.h>

#include <string>

#include "config/ini_read_write.h"
#include "config/profile_text.h"
#include "config/settings.h"
#include "fake_platform.h"

namespace tavrolin {
namespace {

using profile_text::SetValue;

const std::string kTwoSections =
    "[Config]\r\nGame=1\r\ngame=0\r\n[Other]\r\nOnlineEnabled=1\r\n"
    "[Config]\r\nInitializeDelay=20\r\nGame=5\r\n";
const std::string kComments =
    ";Game=1\r\n\r\n[Config]\r\n;Game=1\r\n   \r\n\t\r\n  Game \t=  \t0 \t\r\nX=a  b\r\n";

// The profile reader on each text: the value of a key in [Config] (or the
// section named).
TEST(ProfileRead, ValuesAsTheProgramReadsThem) {
  const std::string v254(254, 'v');
  const struct {
    std::string text;
    const char* key;
    std::string value;
    const char* section = "Config";
  } rows[] = {
      // Section and key names ignore letter case.
      {"[config]\r\ninitializedelay=20\r\n", "InitializeDelay", "20"},
      {"[CONFIG]\r\nGAME=1\r\n", "game", "1", "cOnFiG"},
      // The first equal key and the first section of a name win.
      {kTwoSections, "Game", "1"},
      {kTwoSections, "InitializeDelay", ""},  // the second [Config] does not count
      {kTwoSections, "OnlineEnabled", ""},    // another section's key
      {kTwoSections, "OnlineEnabled", "1", "Other"},
      // Comments, empty lines and blanks around values are skipped; inner
      // blanks stay.
      {kComments, "Game", "0"},
      {kComments, "X", "a  b"},
      // One pair of enclosing quotes is dropped.
      {"[Config]\r\nA=\"a b\"\r\n", "A", "a b"},
      {"[Config]\r\nA='x'\r\n", "A", "x"},
      {"[Config]\r\nA=\"\"x\"\"\r\n", "A", "\"x\""},
      {"[Config]\r\nA=\"\"\r\n", "A", ""},
      {"[Config]\r\nA=\"open\r\n", "A", "\"open"},
      {"[Config]\r\nA=\"mixed'\r\n", "A", "\"mixed'"},
      {"[Config]\r\nA=\"\r\n", "A", "\""},
      // Values come back cut to 254 characters; of a quoted long value the
      // opening quote goes and the cut takes the rest.
      {"[Config]\r\nA=" + std::string(300, 'v') + "\r\n", "A", v254},
      {"[Config]\r\nA=" + v254, "A", v254},
      {"[Config]\r\nA=\"" + std::string(300, 'v') + "\"\r\n", "A", v254},
      {"[Config]\r\nA=\"" + std::string(253, 'v') + "\"\r\n", "A", std::string(253, 'v')},
      // Line ends, a byte-order mark, a last line without its break.
      {"[Config]\nA=1\nGame=1", "Game", "1"},
      {"\xEF\xBB\xBF[Config]\r\nGame=1\r\n", "Game", "1"},
      {"[Config]\r\nGame=1", "Game", "1"},
      // A missing section, key or "=" reads empty: a key line without "="
      // has no value, and being first it hides the next.
      {"[Other]\r\nGame=1\r\n", "Game", ""},
      {"Game=1\r\n[Config]\r\n", "Game", ""},  // a key before any section
      {"[Config]\r\nGame\r\nGame=1\r\n", "Game", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    fakes::FakePlatform fake;
    fake.files.files["c.ini"] = row.text;
    EXPECT_EQ(IniRead(fake.profile, row.section, row.key, "c.ini"), row.value);
  }
  fakes::FakePlatform fake;  // no file
  EXPECT_EQ(IniRead(fake.profile, "Config", "Game", fake.configPath()), "");
}

// The profile writer on each text, setting one key of [Config]: a key is
// replaced in place and every other byte kept; a missing key goes after the
// last line of its section, a missing section at the end.
TEST(ProfileWrite, ReplacesInPlaceOrAddsAndKeepsEveryOtherByte) {
  const struct {
    const char* text;
    const char* value;  // of Game
    const char* written;
  } rows[] = {
      {"\xEF\xBB\xBF; keep me\n[config]\n  game = 0  \r\nGame=7\n\n[Other]\r\nGame=3", "1",
       "\xEF\xBB\xBF; keep me\n[config]\n  game=1  \r\nGame=7\n\n[Other]\r\nGame=3"},
      {"[Config]\r\nGame\r\nX=1\r\n", "0", "[Config]\r\nGame=0\r\nX=1\r\n"},  // the key, no "="
      {"[Config]\r\nGame=", "1", "[Config]\r\nGame=1"},
      {"[Config]\r\nA=1\r\n\r\n[Other]\r\nB=2\r\n", "0",
       "[Config]\r\nA=1\r\nGame=0\r\n\r\n[Other]\r\nB=2\r\n"},
      {"[Config]\r\nA=1", "0", "[Config]\r\nA=1\r\nGame=0\r\n"},
      {"[Config]", "0", "[Config]\r\nGame=0\r\n"},
      {"[Config]\nA=1\n[Config]\nB=1\n", "0", "[Config]\nA=1\nGame=0\r\n[Config]\nB=1\n"},
      {"; only a comment\r\n", "0", "; only a comment\r\n[Config]\r\nGame=0\r\n"},
      {"[Other]\nx=1", "0", "[Other]\nx=1\r\n[Config]\r\nGame=0\r\n"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(SetValue(row.text, "Config", "Game", row.value), row.written) << row.text;
  }
}

// Each rule on its texts: what it makes of the text ("off"/"on" for the online
// flag), or the failure it raises. What startup makes of config.ini's values
// is in StartupValues; these are the texts it does not try.
enum class Rule { kDelay, kOnlineFromOff, kOnlineFromOn, kGame, kInteger16 };

std::string Outcome(Rule rule, std::string_view text) {
  const bool online = rule == Rule::kOnlineFromOff || rule == Rule::kOnlineFromOn;
  bool flag = rule == Rule::kOnlineFromOn;
  std::string value;
  try {
    switch (rule) {
      case Rule::kDelay:
        return std::to_string(DelayInterval(text));
      case Rule::kOnlineFromOff:
      case Rule::kOnlineFromOn:
        ApplyOnlineEnabled(text, flag);
        return flag ? "on" : "off";
      case Rule::kGame:
        return std::string(GameForIndex(text));
      case Rule::kInteger16:
        return std::to_string(ToInteger16(text));
    }
  } catch (const Failure& failure) {
    // A text that does not convert leaves the flag as it was.
    value = "failure " + std::to_string(failure.number());
    if (online) value += flag ? ", on" : ", off";
  }
  return value;
}

TEST(ValueRules, GiveTheirValueOrTheirFailure) {
  constexpr Rule kDelay = Rule::kDelay;
  constexpr Rule kFromOff = Rule::kOnlineFromOff;
  constexpr Rule kFromOn = Rule::kOnlineFromOn;
  constexpr Rule kGame = Rule::kGame;
  constexpr Rule kInteger16 = Rule::kInteger16;
  const struct {
    Rule rule;
    const char* text;
    const char* outcome;
  } rows[] = {
      // InitializeDelay: seconds become milliseconds.
      {kDelay, "020", "20000"},
      {kDelay, "1,000", "failure 13"},
      {kDelay, "+", "failure 13"},
      {kDelay, "30s", "failure 13"},
      {kDelay, "-2147484", "failure 6"},
      {kDelay, "99999999999999999999", "failure 6"},
      {kDelay, "18446744073709551620", "failure 6"},
      // OnlineEnabled: 0 clears the flag, 1 sets it, any other number
      // leaves it.
      {kFromOn, "0", "off"},
      {kFromOff, "+1", "on"},
      {kFromOn, "2", "on"},
      {kFromOn, "-1", "on"},
      {kFromOn, "", "failure 13, on"},
      {kFromOn, "yes", "failure 13, on"},
      // Game: 1 is the other game, any other number the first.
      {kGame, "001", "ForgedAlliance.exe"},
      {kGame, "", "failure 13"},
      // 2^64 + 1 must not wrap round to 1.
      {kGame, "18446744073709551617", "failure 6"},
      // The dialog's 16-bit conversion.
      {kInteger16, "4", "4"},
      {kInteger16, "32767", "32767"},
      {kInteger16, "-32768", "-32768"},
      {kInteger16, "32768", "failure 6"},
      {kInteger16, "-32769", "failure 6"},
      {kInteger16, "", "failure 13"},
      {kInteger16, "4.0", "failure 13"},
      {kInteger16, " 4", "failure 13"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Outcome(row.rule, row.text), row.outcome)
        << "rule " << static_cast<int>(row.rule) << " on \"" << row.text << '"';
  }
}

}  // namespace
}  // namespace tavrolin
