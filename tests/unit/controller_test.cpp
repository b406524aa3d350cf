#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
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

// One machine's files, and the program started on them.
struct Program {
  void SetConfig(std::string text) { fake.files.files[fake.configPath()] = std::move(text); }
  std::string Config() const { return fake.files.text(fake.configPath()); }
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

class Startup : public ::testing::Test, public Program {};

std::string FormLoadReport(std::string_view numberLine, std::uint32_t systemError) {
  return test::Report(
      {"Error occurred in Form_Load", numberLine, "DLL Error - " + std::to_string(systemError)});
}

TEST_F(Startup, WithoutSettingsFileWritesTheDefaultAndReadsIt) {
  const auto controller = Start();
  EXPECT_EQ(Config(), kDefaultFile);
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

// One value on a line before the usual ones, whose first of a key wins; a
// line "-Key" leaves that key out instead. A value that does not convert is
// reported with its key and text, and startup goes on with the default.
TEST(StartupValues, FallBackWithOneReportAndStartupGoesOn) {
  const char* sc = "SupremeCommander.exe";
  const char* fa = "ForgedAlliance.exe";
  const char* mismatch = "13  Type mismatch";
  const struct {
    const char* line;
    std::uint32_t interval;
    bool online;
    const char* game;
    const char* report;  // number and description, or "" for no report
  } rows[] = {
      {"InitializeDelay=abc", 30000, true, sc, mismatch},
      {"InitializeDelay=2147484", 30000, true, sc, "6  Overflow"},
      {"InitializeDelay=1.5", 30000, true, sc, mismatch},
      {"InitializeDelay=2 0", 30000, true, sc, mismatch},
      {"InitializeDelay=-5", 30000, true, sc, "380  Invalid property value"},
      {"InitializeDelay=+60", 60000, true, sc, ""},
      {"InitializeDelay=2147483", 2147483000, true, sc, ""},
      {"InitializeDelay=", 30000, true, sc, mismatch},
      {"-InitializeDelay", 30000, true, sc, mismatch},
      {"InitializeDelay=0", 0, true, sc, ""},
      {"OnlineEnabled=", 20000, false, sc, mismatch},
      {"-OnlineEnabled", 20000, false, sc, mismatch},
      {"OnlineEnabled=yes", 20000, false, sc, mismatch},
      {"OnlineEnabled=1 1", 20000, false, sc, mismatch},
      {"OnlineEnabled=99999999999999999999", 20000, false, sc, "6  Overflow"},
      {"OnlineEnabled=2", 20000, false, sc, ""},
      {"OnlineEnabled=01", 20000, true, sc, ""},
      {"Game=one", 20000, true, sc, mismatch},
      {"Game=1", 20000, true, fa, ""},
      {"Game=5", 20000, true, sc, ""},
      {"Game=-1", 20000, true, sc, ""},
      {"Game=+1", 20000, true, fa, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    Program program;
    const bool leftOut = row.line[0] == '-';
    const std::string line = leftOut ? row.line + 1 : row.line;
    std::string text = "[Config]\r\n" + (leftOut ? "" : line + "\r\n");
    for (const std::string usual : {"InitializeDelay=20", "OnlineEnabled=1", "Game=0"}) {
      if (!leftOut || !usual.starts_with(line)) text += usual + "\r\n";
    }
    program.SetConfig(text);
    const auto controller = program.Start();
    EXPECT_EQ(controller->delayTimer().interval(), row.interval);
    EXPECT_EQ(controller->onlineAllowed(), row.online);
    EXPECT_EQ(controller->watchedImage(), row.game);
    EXPECT_TRUE(program.fake.window.iconShown);
    const std::size_t equals = std::min(line.find('='), line.size());
    EXPECT_EQ(
        program.fake.log(),
        *row.report == '\0'
            ? ""
            : test::Report({"Error occurred in Form_Load", row.report, "DLL Error - 0",
                            "Variables:Key =" + line.substr(0, equals),
                            "Variables:Value =" + line.substr(std::min(equals + 1, line.size()))}));
    EXPECT_EQ(program.Config(), text);
  }
}

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

// The settings file over two starts. The default file is written only where
// nothing stands. Anything else by that name is left exactly as it is, with
// one report, and the run uses the defaults; a plain file is read up to 1 MiB.
// A missing Game line is appended at each start that finds none, after the
// line break a last line lacks (without it the value there would be spoilt).
TEST(StartupFiles, OnlyAMissingFileIsWrittenOnlyAPlainOneReadAndTheGameLineRepaired) {
  const std::string noGame = "[Config]\r\nInitializeDelay=20\r\nOnlineEnabled=1\r\n";
  const std::string twentySeconds = noGame + "Game=0\r\n";
  // A settings file of `size` bytes: the values, then comment lines.
  const auto paddedTo = [&](std::size_t size) {
    std::string text = twentySeconds;
    while (text.size() < size)
      text.append(std::min<std::size_t>(size - text.size(), 64) - 1, ';') += '\n';
    return text;
  };
  const char* notPlain = "1008  config.ini is not a readable plain file; the defaults are used";
  const char* accessError = "75  Path/File access error";
  const struct {
    std::optional<std::string> text;  // nullopt: no file
    const char* entry;  // besides the text: "hidden", "a directory", "read-only", "status fails"
    std::uint32_t delay;
    std::string log;
    // The file after the first start and after the second (nullopt: as it
    // was before).
    std::optional<std::string> afterFirst = std::nullopt, afterSecond = std::nullopt;
  } rows[] = {
      {twentySeconds, "hidden", 30000, FormLoadReport(notPlain, 0)},
      {std::nullopt, "a directory", 30000, FormLoadReport(notPlain, 0)},
      // An I/O error, or a network folder gone stale: no reason to think the
      // user's file is not there.
      {twentySeconds, "status fails", 30000, FormLoadReport(notPlain, 1117)},
      {paddedTo((1U << 20) + 1), "", 30000,
       FormLoadReport("1009  config.ini is larger than 1 MiB; the defaults are used", 0)},
      {paddedTo(1U << 20), "", 20000, ""},
      {std::nullopt, "read-only", 30000, FormLoadReport(accessError, 5)},  // no default written
      {noGame, "", 20000, "", twentySeconds, twentySeconds},
      {noGame, "read-only", 20000, FormLoadReport(accessError, 5)},
      {"[Config]\r\nOnlineEnabled=1\r\nInitializeDelay=20", "", 20000, "",
       "[Config]\r\nOnlineEnabled=1\r\nInitializeDelay=20\r\nGame=0\r\n",
       "[Config]\r\nOnlineEnabled=1\r\nInitializeDelay=20\r\nGame=0\r\n"},
      // The first Game line, empty, is the one read: every start appends.
      {noGame + "Game=\r\n", "", 20000, "", noGame + "Game=\r\nGame=0\r\n",
       noGame + "Game=\r\nGame=0\r\nGame=0\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text.value_or("no file").substr(0, 60) + ", " + row.entry);
    Program program;
    const std::string path = program.fake.configPath();
    fakes::FakeFileSystem& files = program.fake.files;
    if (row.text) files.files[path] = *row.text;
    const std::string_view entry = row.entry;
    if (entry == "hidden") files.hidden.insert(path);
    if (entry == "a directory") files.directories.insert(path);
    if (entry == "read-only") files.readOnly.insert(path);
    if (entry == "status fails") files.statusErrors[path] = 1117;
    const auto file = [&]() -> std::optional<std::string> {
      return program.fake.files.exists(path) ? std::optional(program.Config()) : std::nullopt;
    };
    const std::optional<std::string> before = file();
    for (const auto& after : {row.afterFirst, row.afterSecond}) {
      const auto controller = program.Start();
      EXPECT_EQ(controller->delayTimer().interval(), row.delay);
      EXPECT_TRUE(controller->onlineAllowed());
      EXPECT_EQ(controller->watchedImage(), "SupremeCommander.exe");
      EXPECT_TRUE(program.fake.window.iconShown);
      EXPECT_EQ(file(), after ? after : before);
    }
    EXPECT_EQ(program.fake.log(), row.log + row.log);  // one report per start
  }
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
