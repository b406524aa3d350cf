#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "config/ini_read_write.h"
#include "config/profile_text.h"
#include "config/settings.h"
#include "fake_platform.h"

namespace tavrolin {
namespace {

using profile_text::SetValue;

// A value as the program reads it: through the profile reader and IniRead.
std::string Read(const std::string& text, const std::string& key,
                 const std::string& section = "Config") {
  fakes::FakePlatform fake;
  fake.files.files["c.ini"] = text;
  return IniRead(fake.profile, section, key, "c.ini");
}

// The failure number a rule throws, or nullopt when it converts.
std::optional<std::int32_t> FailureOf(const std::function<void()>& rule) {
  try {
    rule();
  } catch (const Failure& failure) {
    return failure.number();
  }
  return std::nullopt;
}

TEST(ProfileRead, SectionAndKeyNamesIgnoreLetterCase) {
  EXPECT_EQ(Read("[config]\r\ninitializedelay=20\r\n", "InitializeDelay"), "20");
  EXPECT_EQ(Read("[CONFIG]\r\nGAME=1\r\n", "game", "cOnFiG"), "1");
}

TEST(ProfileRead, FirstEqualKeyAndFirstSectionOfANameWin) {
  const std::string text =
      "[Config]\r\nGame=1\r\ngame=0\r\n[Other]\r\nOnlineEnabled=1\r\n"
      "[Config]\r\nInitializeDelay=20\r\nGame=5\r\n";
  EXPECT_EQ(Read(text, "Game"), "1");
  EXPECT_EQ(Read(text, "InitializeDelay"), "");  // the second [Config] does not count
  EXPECT_EQ(Read(text, "OnlineEnabled"), "");    // another section's key
  EXPECT_EQ(Read(text, "OnlineEnabled", "Other"), "1");
}

TEST(ProfileRead, CommentsEmptyLinesAndBlanksAroundValuesAreSkipped) {
  const std::string text =
      ";Game=1\r\n\r\n[Config]\r\n;Game=1\r\n   \r\n\t\r\n  Game \t=  \t0 \t\r\nX=a  b\r\n";
  EXPECT_EQ(Read(text, "Game"), "0");
  EXPECT_EQ(Read(text, "X"), "a  b");  // inner blanks stay
}

TEST(ProfileRead, OnePairOfEnclosingQuotesIsDropped) {
  EXPECT_EQ(Read("[Config]\r\nA=\"a b\"\r\n", "A"), "a b");
  EXPECT_EQ(Read("[Config]\r\nA='x'\r\n", "A"), "x");
  EXPECT_EQ(Read("[Config]\r\nA=\"\"x\"\"\r\n", "A"), "\"x\"");
  EXPECT_EQ(Read("[Config]\r\nA=\"\"\r\n", "A"), "");
  EXPECT_EQ(Read("[Config]\r\nA=\"open\r\n", "A"), "\"open");
  EXPECT_EQ(Read("[Config]\r\nA=\"mixed'\r\n", "A"), "\"mixed'");
  EXPECT_EQ(Read("[Config]\r\nA=\"\r\n", "A"), "\"");
}

TEST(ProfileRead, ValuesComeBackCutTo254Characters) {
  const std::string longValue(300, 'v');
  EXPECT_EQ(Read("[Config]\r\nA=" + longValue + "\r\n", "A"), std::string(254, 'v'));
  EXPECT_EQ(Read("[Config]\r\nA=" + std::string(254, 'v'), "A"), std::string(254, 'v'));
  // Quotes around a long value: the opening one goes, the cut takes the rest.
  EXPECT_EQ(Read("[Config]\r\nA=\"" + longValue + "\"\r\n", "A"), std::string(254, 'v'));
  EXPECT_EQ(Read("[Config]\r\nA=\"" + std::string(253, 'v') + "\"\r\n", "A"),
            std::string(253, 'v'));
}

TEST(ProfileRead, LineEndsByteOrderMarkAndLastLine) {
  EXPECT_EQ(Read("[Config]\nA=1\nGame=1", "Game"), "1");               // LF only, no final break
  EXPECT_EQ(Read("\xEF\xBB\xBF[Config]\r\nGame=1\r\n", "Game"), "1");  // UTF-8 BOM
  EXPECT_EQ(Read("[Config]\r\nGame=1", "Game"), "1");
}

TEST(ProfileRead, MissingFileSectionKeyOrEqualsReadEmpty) {
  fakes::FakePlatform fake;
  EXPECT_EQ(IniRead(fake.profile, "Config", "Game", fake.configPath()), "");
  EXPECT_EQ(Read("[Other]\r\nGame=1\r\n", "Game"), "");
  EXPECT_EQ(Read("Game=1\r\n[Config]\r\n", "Game"), "");  // a key before any section
  // A key line without "=" has no value, and being first it hides the next.
  EXPECT_EQ(Read("[Config]\r\nGame\r\nGame=1\r\n", "Game"), "");
}

TEST(ProfileWrite, ReplacesInPlaceAndKeepsEveryOtherByte) {
  const std::string text =
      "\xEF\xBB\xBF; keep me\n[config]\n  game = 0  \r\nGame=7\n\n[Other]\r\nGame=3";
  EXPECT_EQ(SetValue(text, "Config", "Game", "1"),
            "\xEF\xBB\xBF; keep me\n[config]\n  game=1  \r\nGame=7\n\n[Other]\r\nGame=3");
  // A key line without "=" is the key: it gets the value.
  EXPECT_EQ(SetValue("[Config]\r\nGame\r\nX=1\r\n", "Config", "Game", "0"),
            "[Config]\r\nGame=0\r\nX=1\r\n");
  EXPECT_EQ(SetValue("[Config]\r\nGame=", "Config", "Game", "1"), "[Config]\r\nGame=1");
}

TEST(ProfileWrite, AddsAMissingKeyAfterTheLastLineOfItsSection) {
  EXPECT_EQ(SetValue("[Config]\r\nA=1\r\n\r\n[Other]\r\nB=2\r\n", "Config", "Game", "0"),
            "[Config]\r\nA=1\r\nGame=0\r\n\r\n[Other]\r\nB=2\r\n");
  EXPECT_EQ(SetValue("[Config]\r\nA=1", "Config", "Game", "0"), "[Config]\r\nA=1\r\nGame=0\r\n");
  EXPECT_EQ(SetValue("[Config]", "Config", "Game", "0"), "[Config]\r\nGame=0\r\n");
  EXPECT_EQ(SetValue("[Config]\nA=1\n[Config]\nB=1\n", "Config", "Game", "0"),
            "[Config]\nA=1\nGame=0\r\n[Config]\nB=1\n");
}

TEST(ProfileWrite, AddsAMissingSectionAtTheEnd) {
  EXPECT_EQ(SetValue("; only a comment\r\n", "Config", "Game", "0"),
            "; only a comment\r\n[Config]\r\nGame=0\r\n");
  EXPECT_EQ(SetValue("[Other]\nx=1", "Config", "Game", "0"),
            "[Other]\nx=1\r\n[Config]\r\nGame=0\r\n");
}

TEST(ProfileWrite, SavingIntoAMissingFileCreatesItAndAFailedWriteChangesNothing) {
  fakes::FakePlatform fake;
  const std::string path = fake.configPath();
  IniWrite(fake.profile, "Config", "OnlineEnabled", "1", path);
  IniWrite(fake.profile, "Config", "Game", "0", path);
  IniWrite(fake.profile, "Config", "InitializeDelay", "30", path);
  EXPECT_EQ(fake.files.text(path),
            "[Config]\r\nOnlineEnabled=1\r\nGame=0\r\nInitializeDelay=30\r\n");
  EXPECT_EQ(IniRead(fake.profile, "Config", "InitializeDelay", path), "30");

  fake.files.readOnly.insert(path);
  IniWrite(fake.profile, "Config", "Game", "1", path);
  EXPECT_EQ(IniRead(fake.profile, "Config", "Game", path), "0");
}

// Each rule on its texts: what it makes of the text, or the failure it raises.
enum class Rule { kDelay, kOnlineFromOff, kOnlineFromOn, kGame, kInteger16 };

struct RuleCase {
  Rule rule;
  const char* text;
  const char* outcome;  // the value, "off"/"on" for the online flag, or "failure N"
};

void PrintTo(const RuleCase& value, std::ostream* out) {
  *out << static_cast<int>(value.rule) << " \"" << value.text << "\"";
}

std::string Outcome(Rule rule, std::string_view text) {
  const bool online = rule == Rule::kOnlineFromOff || rule == Rule::kOnlineFromOn;
  bool flag = rule == Rule::kOnlineFromOn;
  std::string value;
  const std::optional<std::int32_t> failure = FailureOf([&] {
    switch (rule) {
      case Rule::kDelay:
        value = std::to_string(DelayInterval(text));
        break;
      case Rule::kOnlineFromOff:
      case Rule::kOnlineFromOn:
        ApplyOnlineEnabled(text, flag);
        value = flag ? "on" : "off";
        break;
      case Rule::kGame:
        value = GameForIndex(text);
        break;
      case Rule::kInteger16:
        value = std::to_string(ToInteger16(text));
        break;
    }
  });
  if (!failure) return value;
  // A text that does not convert leaves the flag as it was.
  return "failure " + std::to_string(*failure) + (online ? (flag ? ", on" : ", off") : "");
}

class ValueRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(ValueRules, GiveTheirValueOrTheirFailure) {
  EXPECT_EQ(Outcome(GetParam().rule, GetParam().text), GetParam().outcome);
}

constexpr Rule kDelay = Rule::kDelay;
constexpr Rule kFromOff = Rule::kOnlineFromOff;
constexpr Rule kFromOn = Rule::kOnlineFromOn;
constexpr Rule kGame = Rule::kGame;
constexpr Rule kInteger16 = Rule::kInteger16;

INSTANTIATE_TEST_SUITE_P(
    Settings, ValueRules,
    ::testing::Values(
        // InitializeDelay: seconds become milliseconds; "" is "000", a delay
        // that never ends.
        RuleCase{kDelay, "30", "30000"}, RuleCase{kDelay, "020", "20000"},
        RuleCase{kDelay, "+60", "60000"}, RuleCase{kDelay, "", "failure 13"},
        RuleCase{kDelay, "0", "0"}, RuleCase{kDelay, "2147483", "2147483000"},
        RuleCase{kDelay, "abc", "failure 13"}, RuleCase{kDelay, "1.5", "failure 13"},
        RuleCase{kDelay, "1 0", "failure 13"}, RuleCase{kDelay, "1,000", "failure 13"},
        RuleCase{kDelay, "+", "failure 13"}, RuleCase{kDelay, "30s", "failure 13"},
        RuleCase{kDelay, "2147484", "failure 6"}, RuleCase{kDelay, "-2147484", "failure 6"},
        RuleCase{kDelay, "99999999999999999999", "failure 6"},
        RuleCase{kDelay, "18446744073709551620", "failure 6"},
        RuleCase{kDelay, "-5", "failure 380"},
        // OnlineEnabled: 0 clears the flag, 1 sets it, any other number
        // leaves it.
        RuleCase{kFromOn, "0", "off"}, RuleCase{kFromOff, "1", "on"},
        RuleCase{kFromOff, "01", "on"}, RuleCase{kFromOff, "+1", "on"},
        RuleCase{kFromOff, "2", "off"}, RuleCase{kFromOn, "2", "on"}, RuleCase{kFromOn, "-1", "on"},
        RuleCase{kFromOn, "", "failure 13, on"}, RuleCase{kFromOn, "yes", "failure 13, on"},
        RuleCase{kFromOff, "yes", "failure 13, off"},
        // Game: 1 is the other game, any other number the first.
        RuleCase{kGame, "1", "ForgedAlliance.exe"}, RuleCase{kGame, "001", "ForgedAlliance.exe"},
        RuleCase{kGame, "0", "SupremeCommander.exe"}, RuleCase{kGame, "5", "SupremeCommander.exe"},
        RuleCase{kGame, "-1", "SupremeCommander.exe"}, RuleCase{kGame, "x", "failure 13"},
        RuleCase{kGame, "", "failure 13"},
        // 2^64 + 1 must not wrap round to 1.
        RuleCase{kGame, "18446744073709551617", "failure 6"},
        // The dialog's 16-bit conversion.
        RuleCase{kInteger16, "4", "4"}, RuleCase{kInteger16, "32767", "32767"},
        RuleCase{kInteger16, "-32768", "-32768"}, RuleCase{kInteger16, "32768", "failure 6"},
        RuleCase{kInteger16, "-32769", "failure 6"}, RuleCase{kInteger16, "", "failure 13"},
        RuleCase{kInteger16, "4.0", "failure 13"}, RuleCase{kInteger16, " 4", "failure 13"}));

TEST(ValueRules, FailuresCarryTheirDescriptions) {
  try {
    ToInteger16("x");
    FAIL() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.description(), "Type mismatch");
  }
  try {
    DelayInterval("-1");
    FAIL() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.description(), "Invalid property value");
  }
  EXPECT_EQ(Failure(FailureNumber::kOverflow).description(), "Overflow");
}

}  // namespace
}  // namespace tavrolin
