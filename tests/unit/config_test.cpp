#include <gtest/gtest.h>

#include <functional>
#include <optional>
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

TEST(ValueRules, InitializeDelayBecomesMilliseconds) {
  EXPECT_EQ(DelayInterval("30"), 30000);
  EXPECT_EQ(DelayInterval("020"), 20000);
  EXPECT_EQ(DelayInterval("+60"), 60000);
  EXPECT_EQ(DelayInterval(""), 0);  // "000": a delay that never ends
  EXPECT_EQ(DelayInterval("0"), 0);
  EXPECT_EQ(DelayInterval("2147483"), 2147483000);
}

TEST(ValueRules, InitializeDelayThatDoesNotConvert) {
  for (const char* text : {"abc", "1.5", "1 0", "1,000", "+", "30s"}) {
    EXPECT_EQ(FailureOf([&] { DelayInterval(text); }), 13) << text;
  }
  for (const char* text : {"2147484", "-2147484", "99999999999999999999", "18446744073709551620"}) {
    EXPECT_EQ(FailureOf([&] { DelayInterval(text); }), 6) << text;
  }
  EXPECT_EQ(FailureOf([] { DelayInterval("-5"); }), 380);
}

TEST(ValueRules, OnlineEnabledSetsClearsOrLeavesTheFlag) {
  const auto apply = [](const char* text, bool before) {
    bool flag = before;
    ApplyOnlineEnabled(text, flag);
    return flag;
  };
  EXPECT_FALSE(apply("0", true));
  EXPECT_TRUE(apply("1", false));
  EXPECT_TRUE(apply("01", false));
  EXPECT_TRUE(apply("+1", false));
  EXPECT_FALSE(apply("2", false));
  EXPECT_TRUE(apply("2", true));
  EXPECT_TRUE(apply("-1", true));

  bool flag = true;
  EXPECT_EQ(FailureOf([&] { ApplyOnlineEnabled("", flag); }), 13);
  EXPECT_EQ(FailureOf([&] { ApplyOnlineEnabled("yes", flag); }), 13);
  EXPECT_TRUE(flag);
}

TEST(ValueRules, GameIndexPicksTheImage) {
  EXPECT_EQ(GameForIndex("1"), "ForgedAlliance.exe");
  EXPECT_EQ(GameForIndex("001"), "ForgedAlliance.exe");
  EXPECT_EQ(GameForIndex("0"), "SupremeCommander.exe");
  EXPECT_EQ(GameForIndex("5"), "SupremeCommander.exe");
  EXPECT_EQ(GameForIndex("-1"), "SupremeCommander.exe");
  EXPECT_EQ(FailureOf([] { GameForIndex("x"); }), 13);
  EXPECT_EQ(FailureOf([] { GameForIndex(""); }), 13);
  // 2^64 + 1 must not wrap round to 1.
  EXPECT_EQ(FailureOf([] { GameForIndex("18446744073709551617"); }), 6);
}

TEST(ValueRules, ToInteger16KeepsTo16Bits) {
  EXPECT_EQ(ToInteger16("4"), 4);
  EXPECT_EQ(ToInteger16("32767"), 32767);
  EXPECT_EQ(ToInteger16("-32768"), -32768);
  EXPECT_EQ(FailureOf([] { ToInteger16("32768"); }), 6);
  EXPECT_EQ(FailureOf([] { ToInteger16("-32769"); }), 6);
  EXPECT_EQ(FailureOf([] { ToInteger16(""); }), 13);
  EXPECT_EQ(FailureOf([] { ToInteger16("4.0"); }), 13);
  EXPECT_EQ(FailureOf([] { ToInteger16(" 4"); }), 13);
}

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
