#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "controller/controller.h"
#include "fake_platform.h"
#include "report_text.h"

namespace tavrolin {
namespace {

constexpr std::string_view kDefaultFile =
    ";Configuration is done by the program and shouldn't be adjusted here.\r\n"
    ";Delete this file if issues arise, the app will make a new one.\r\n"
    "\r\n"
    "[Config]\r\n"
    "InitializeDelay=30\r\n"
    "OnlineEnabled=1\r\n"
    "CPUs=All\r\n"
    "Game=0\r\n";

class Startup : public ::testing::Test {
 protected:
  void SetConfig(std::string text) { fake.files.files[fake.configPath()] = std::move(text); }
  std::string Config() const { return fake.files.text(fake.configPath()); }
  // One start of the program on the current files.
  std::unique_ptr<Controller> Start() {
    auto controller = std::make_unique<Controller>(fake.platform);
    controller->start();
    return controller;
  }
  // The computer name the program passes to the presence query.
  std::string ComputerNameSeen() {
    fake.time.advance(10000);
    return fake.processes.computerNamesAsked.empty() ? "<none>"
                                                     : fake.processes.computerNamesAsked.back();
  }

  fakes::FakePlatform fake;
};

TEST_F(Startup, WithoutSettingsFileWritesTheDefaultAndReadsIt) {
  const auto controller = Start();
  EXPECT_EQ(Config(), kDefaultFile);
  EXPECT_EQ(Config().size(), 203U);
  EXPECT_EQ(controller->settingsPath(), "C:\\Games\\Tavrolin\\config.ini");
  EXPECT_EQ(controller->delayTimer().interval(), 30000U);
  EXPECT_TRUE(controller->onlineAllowed());
  EXPECT_EQ(controller->watchedImage(), "SupremeCommander.exe");

  EXPECT_FALSE(controller->delayTimer().enabled());
  EXPECT_FALSE(controller->finalMaskTimer().enabled());
  EXPECT_EQ(controller->finalMaskTimer().interval(), 1000U);
  EXPECT_TRUE(controller->pollTimer().enabled());
  EXPECT_EQ(controller->pollTimer().interval(), 10000U);
  EXPECT_TRUE(fake.window.iconShown);
  EXPECT_FALSE(fake.window.visible);
  EXPECT_EQ(fake.log(), "");
  EXPECT_EQ(ComputerNameSeen(), "GAMER-PC");  // no buffer blanks, no NUL
}

TEST_F(Startup, AnExistingFileIsReadAndNeverRewritten) {
  const std::string text =
      "; mine\n[config]\n initializedelay = 20 \nOnlineEnabled=0\nGame=1\nCPUs=0,1\n";
  SetConfig(text);
  const auto controller = Start();
  EXPECT_EQ(Config(), text);
  EXPECT_EQ(fake.files.writes, 0);
  EXPECT_EQ(controller->delayTimer().interval(), 20000U);
  EXPECT_FALSE(controller->onlineAllowed());
  EXPECT_EQ(controller->watchedImage(), "ForgedAlliance.exe");
}

TEST_F(Startup, AMissingGameLineIsAppendedOnce) {
  SetConfig("[Config]\r\nInitializeDelay=20\r\nOnlineEnabled=1\r\n");
  EXPECT_EQ(Start()->watchedImage(), "SupremeCommander.exe");
  EXPECT_EQ(Config(), "[Config]\r\nInitializeDelay=20\r\nOnlineEnabled=1\r\nGame=0\r\n");
  Start();
  EXPECT_EQ(Config(), "[Config]\r\nInitializeDelay=20\r\nOnlineEnabled=1\r\nGame=0\r\n");
  EXPECT_EQ(fake.log(), "");
}

TEST_F(Startup, AnEmptyGameLineStaysFirstSoEveryStartAppendsAgain) {
  SetConfig("[Config]\r\nGame=\r\n");
  Start();
  const auto controller = Start();
  EXPECT_EQ(Config(), "[Config]\r\nGame=\r\nGame=0\r\nGame=0\r\n");
  EXPECT_EQ(controller->watchedImage(), "SupremeCommander.exe");
}

// The repair must not run into a last line that lacks its line break: that
// would spoil the value standing there.
TEST_F(Startup, TheRepairEndsALastLineWithoutLineBreakFirst) {
  SetConfig("[Config]\r\nOnlineEnabled=1\r\nInitializeDelay=20");
  EXPECT_EQ(Start()->delayTimer().interval(), 20000U);
  EXPECT_EQ(Config(), "[Config]\r\nOnlineEnabled=1\r\nInitializeDelay=20\r\nGame=0\r\n");

  // The next start finds every value as it was, and the Game line.
  const auto controller = Start();
  EXPECT_EQ(controller->delayTimer().interval(), 20000U);
  EXPECT_EQ(Config(), "[Config]\r\nOnlineEnabled=1\r\nInitializeDelay=20\r\nGame=0\r\n");
  EXPECT_EQ(fake.log(), "");
}

struct BadValue {
  const char* line;
  std::uint32_t interval;
  bool online;
  const char* game;
  const char* report;  // number and description, or "" for no report
};

void PrintTo(const BadValue& value, std::ostream* out) {
  *out << value.line;
}

class SettingValues : public Startup, public ::testing::WithParamInterface<BadValue> {};

TEST_P(SettingValues, FallBackWithOneReportAndStartupGoesOn) {
  // The line stands before the usual values, whose first of a key wins; a
  // line "-Key" leaves that key out instead.
  const BadValue& value = GetParam();
  std::string text = "[Config]\r\n";
  if (value.line[0] != '-') text += value.line + std::string("\r\n");
  for (const char* usual : {"InitializeDelay=20", "OnlineEnabled=1", "Game=0"}) {
    if (value.line[0] != '-' || !std::string_view(usual).starts_with(value.line + 1))
      text += usual + std::string("\r\n");
  }
  SetConfig(text);
  const auto controller = Start();
  EXPECT_EQ(controller->delayTimer().interval(), value.interval);
  EXPECT_EQ(controller->onlineAllowed(), value.online);
  EXPECT_EQ(controller->watchedImage(), value.game);
  EXPECT_TRUE(fake.window.iconShown);
  if (*value.report == '\0') {
    EXPECT_EQ(fake.log(), "");
  } else {
    const std::string_view line(value.line[0] == '-' ? value.line + 1 : value.line);
    const std::size_t equals = std::min(line.find('='), line.size());
    EXPECT_EQ(fake.log(),
              test::Report({"Error occurred in Form_Load", value.report, "DLL Error - 0",
                            "Variables:Key =" + std::string(line.substr(0, equals)),
                            "Variables:Value =" + std::string(line.substr(equals).substr(
                                                      equals < line.size() ? 1 : 0))}));
  }
  EXPECT_EQ(Config(), text);
}

constexpr const char* kSC = "SupremeCommander.exe";
constexpr const char* kFA = "ForgedAlliance.exe";

INSTANTIATE_TEST_SUITE_P(
    Startup, SettingValues,
    ::testing::Values(
        BadValue{"InitializeDelay=abc", 30000, true, kSC, "13  Type mismatch"},
        BadValue{"InitializeDelay=2147484", 30000, true, kSC, "6  Overflow"},
        BadValue{"InitializeDelay=1.5", 30000, true, kSC, "13  Type mismatch"},
        BadValue{"InitializeDelay=2 0", 30000, true, kSC, "13  Type mismatch"},
        BadValue{"InitializeDelay=-5", 30000, true, kSC, "380  Invalid property value"},
        BadValue{"InitializeDelay=+60", 60000, true, kSC, ""},
        BadValue{"InitializeDelay=2147483", 2147483000, true, kSC, ""},
        BadValue{"InitializeDelay=", 30000, true, kSC, "13  Type mismatch"},
        BadValue{"-InitializeDelay", 30000, true, kSC, "13  Type mismatch"},
        BadValue{"InitializeDelay=0", 0, true, kSC, ""},
        BadValue{"OnlineEnabled=", 20000, false, kSC, "13  Type mismatch"},
        BadValue{"-OnlineEnabled", 20000, false, kSC, "13  Type mismatch"},
        BadValue{"OnlineEnabled=yes", 20000, false, kSC, "13  Type mismatch"},
        BadValue{"OnlineEnabled=1 1", 20000, false, kSC, "13  Type mismatch"},
        BadValue{"OnlineEnabled=99999999999999999999", 20000, false, kSC, "6  Overflow"},
        BadValue{"OnlineEnabled=2", 20000, false, kSC, ""},
        BadValue{"OnlineEnabled=01", 20000, true, kSC, ""},
        BadValue{"Game=one", 20000, true, kSC, "13  Type mismatch"},
        BadValue{"Game=1", 20000, true, kFA, ""}, BadValue{"Game=5", 20000, true, kSC, ""},
        BadValue{"Game=-1", 20000, true, kSC, ""}, BadValue{"Game=+1", 20000, true, kFA, ""}));

TEST_F(Startup, EveryBadKeyIsReportedOnItsOwn) {
  SetConfig("[Config]\r\nInitializeDelay=x\r\nOnlineEnabled=y\r\nGame=z\r\n");
  const auto controller = Start();
  EXPECT_EQ(test::ReportCount(fake.log()), 3U);
  EXPECT_NE(fake.log().find("Variables:Key =Game\r\nVariables:Value =z\r\n"), std::string::npos);
  EXPECT_EQ(controller->delayTimer().interval(), 30000U);
  EXPECT_FALSE(controller->onlineAllowed());
  EXPECT_EQ(controller->watchedImage(), "SupremeCommander.exe");
  EXPECT_TRUE(fake.window.iconShown);
}

// The default file is written only where nothing stands. Anything else by
// that name is left exactly as it is, with one report, and the run uses the
// defaults; a plain file is read up to 1 MiB.
struct SettingsFileCase {
  const char* name;
  std::function<void(fakes::FakeFileSystem& files, const std::string& path)> arrange;
  std::uint32_t delay;
  const char* report;  // number and description, or "" for no report
  std::uint32_t systemError;
};

void PrintTo(const SettingsFileCase& value, std::ostream* out) {
  *out << value.name;
}

class SettingsFiles : public Startup, public ::testing::WithParamInterface<SettingsFileCase> {};

TEST_P(SettingsFiles, OnlyAMissingOneIsWrittenAndOnlyAPlainOneRead) {
  const SettingsFileCase& file = GetParam();
  file.arrange(fake.files, fake.configPath());
  const std::optional<std::string> before =
      fake.files.exists(fake.configPath()) ? std::optional(Config()) : std::nullopt;
  const auto controller = Start();
  EXPECT_EQ(controller->delayTimer().interval(), file.delay);
  EXPECT_TRUE(controller->onlineAllowed());
  EXPECT_EQ(controller->watchedImage(), "SupremeCommander.exe");
  EXPECT_TRUE(fake.window.iconShown);
  EXPECT_EQ(fake.files.exists(fake.configPath()) ? std::optional(Config()) : std::nullopt, before);
  if (*file.report == '\0') {
    EXPECT_EQ(fake.log(), "");
  } else {
    EXPECT_EQ(fake.log(), test::Report({"Error occurred in Form_Load", file.report,
                                        "DLL Error - " + std::to_string(file.systemError)}));
  }
}

const std::string kTwentySeconds =
    "[Config]\r\nInitializeDelay=20\r\nOnlineEnabled=1\r\nGame=0\r\n";
// A settings file of `size` bytes: the values, then comment lines.
std::string PaddedTo(std::size_t size) {
  std::string text = kTwentySeconds;
  while (text.size() < size)
    text.append(std::min<std::size_t>(size - text.size(), 64) - 1, ';') += '\n';
  return text;
}
constexpr const char* kNotPlain =
    "1008  config.ini is not a readable plain file; the defaults are used";

INSTANTIATE_TEST_SUITE_P(
    Startup, SettingsFiles,
    ::testing::Values(
        SettingsFileCase{"hidden",
                         [](auto& files, const auto& path) {
                           files.files[path] = kTwentySeconds;
                           files.hidden.insert(path);
                         },
                         30000, kNotPlain, 0},
        SettingsFileCase{"a directory",
                         [](auto& files, const auto& path) { files.directories.insert(path); },
                         30000, kNotPlain, 0},
        // An I/O error, or a network folder gone stale: no reason to think
        // the user's file is not there.
        SettingsFileCase{"cannot be told about",
                         [](auto& files, const auto& path) {
                           files.files[path] = kTwentySeconds;
                           files.statusErrors[path] = 1117;
                         },
                         30000, kNotPlain, 1117},
        SettingsFileCase{
            "larger than 1 MiB",
            [](auto& files, const auto& path) { files.files[path] = PaddedTo((1U << 20) + 1); },
            30000, "1009  config.ini is larger than 1 MiB; the defaults are used", 0},
        SettingsFileCase{
            "of 1 MiB",
            [](auto& files, const auto& path) { files.files[path] = PaddedTo(1U << 20); }, 20000,
            "", 0},
        SettingsFileCase{"missing, in a folder that cannot be written",
                         [](auto& files, const auto& path) { files.readOnly.insert(path); }, 30000,
                         "75  Path/File access error", 5}));

TEST_F(Startup, ARepairThatCannotBeWrittenIsReported) {
  SetConfig("[Config]\r\nInitializeDelay=20\r\nOnlineEnabled=1\r\n");
  fake.files.readOnly.insert(fake.configPath());
  const auto controller = Start();
  EXPECT_EQ(Config(), "[Config]\r\nInitializeDelay=20\r\nOnlineEnabled=1\r\n");
  EXPECT_EQ(controller->delayTimer().interval(), 20000U);
  EXPECT_TRUE(fake.window.iconShown);
  EXPECT_EQ(fake.log(), test::Report({"Error occurred in Form_Load", "75  Path/File access error",
                                      "DLL Error - 5"}));
}

TEST_F(Startup, ASecondInstanceCompletesTheFileAndEnds) {
  fake.environment.otherInstance = true;
  Start();
  EXPECT_EQ(Config(), kDefaultFile);
  EXPECT_EQ(fake.environment.endedWith, 0);
  EXPECT_EQ(fake.window.trayAdds, 0);
  EXPECT_EQ(fake.window.hides, 0);

  SetConfig("[Config]\r\nInitializeDelay=30\r\nOnlineEnabled=1\r\n");
  Start();
  EXPECT_EQ(Config(), "[Config]\r\nInitializeDelay=30\r\nOnlineEnabled=1\r\nGame=0\r\n");
  EXPECT_EQ(fake.window.trayAdds, 0);
  EXPECT_EQ(fake.log(), "");
}

TEST_F(Startup, AComputerNameFailureIsReportedAndStartupGoesOn) {
  fake.environment.computerNameError = 1722;
  const auto controller = Start();
  EXPECT_EQ(fake.log(), test::Report({"Error occurred in Form_Load",
                                      "1722  A system call returned an error code of 1722",
                                      "DLL Error - 1722"}));
  EXPECT_TRUE(fake.window.iconShown);
  EXPECT_FALSE(fake.window.visible);
  EXPECT_EQ(ComputerNameSeen(), "");
}

TEST_F(Startup, MinimizingHidesTheWindowAndNothingElseDoes) {
  const auto controller = Start();
  const int hides = fake.window.hides;
  controller->onWindowResized();
  EXPECT_EQ(fake.window.hides, hides);
  fake.window.minimized = true;
  controller->onWindowResized();
  EXPECT_EQ(fake.window.hides, hides + 1);
}

TEST_F(Startup, ExitUnloadsTheWindowsRemovesTheIconAndEnds) {
  const auto controller = Start();
  EXPECT_FALSE(fake.environment.endedWith.has_value());
  controller->exitProgram();
  EXPECT_EQ(fake.window.unloads, 1);
  EXPECT_EQ(fake.window.trayRemoves, 1);
  EXPECT_FALSE(fake.window.iconShown);
  EXPECT_EQ(fake.environment.endedWith, 0);
}

}  // namespace
}  // namespace tavrolin
