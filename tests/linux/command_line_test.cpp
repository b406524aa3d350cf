#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"

namespace tavrolin::linux_backend {
namespace {

TEST(CommandLine, OptionsAndUsageErrors) {
  using Action = CommandLine::Action;
  struct Row {
    std::vector<const char*> arguments;
    Action action;
    std::optional<std::string> directory;
    std::string error;
    bool verbose = false;
  };
  const Row rows[] = {
      {{}, Action::kRun, std::nullopt, ""},
      {{"--settings-dir", "a b"}, Action::kRun, "a b", ""},
      {{"--settings-dir=/x", "--settings-dir=/y"}, Action::kRun, "/y", ""},
      {{"--version", "--help"}, Action::kHelp, std::nullopt, ""},
      {{"--settings-dir", "/x", "--version"}, Action::kVersion, "/x", ""},
      {{"--settings-dir"}, Action::kUsageError, std::nullopt, "--settings-dir needs a directory"},
      {{"--settings-dir="}, Action::kUsageError, std::nullopt, "--settings-dir needs a directory"},
      {{"--verbose", "--settings-dir=/x"}, Action::kRun, "/x", "", true},
      {{"-v"}, Action::kRun, std::nullopt, "", true},
      {{"--list-cpus", "--settings-dir=/x"}, Action::kListProcessors, "/x", ""},
      {{"--list-cpus", "--version"}, Action::kVersion, std::nullopt, ""},
      {{"--help", "-x"}, Action::kUsageError, std::nullopt, "unknown option '-x'"},
      {{"config.ini"}, Action::kUsageError, std::nullopt, "unexpected argument 'config.ini'"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments.empty() ? "(none)" : row.arguments.front());
    const CommandLine parsed = ParseCommandLine(row.arguments);
    EXPECT_EQ(parsed.action, row.action);
    if (row.action != Action::kUsageError) {
      EXPECT_EQ(parsed.settingsDirectory, row.directory);
      EXPECT_EQ(parsed.verbose, row.verbose);
    }
    EXPECT_EQ(parsed.error, row.error);
  }
}

class SettingsDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("tavrolin-settings-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / "bin");
    std::filesystem::create_directories(root_ / "home");
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::string at(const std::string& relative) const { return (root_ / relative).string(); }
  static unsigned modeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777U : 0U;
  }

  std::filesystem::path root_;
};

TEST_F(SettingsDirectory, ChosenInOrderAndCreatedPrivate) {
  struct Row {
    const char* name;
    std::optional<std::string> given;
    const char* besideProgram;  // config.ini beside the program, nullptr: none
    std::string configHome;
    std::string home;
    std::string expected;
  };
  const Row rows[] = {
      {"--settings-dir first", at("given/deep"), "[Config]", at("xdg"), at("home"),
       at("given/deep")},
      {"a config.ini beside the program", std::nullopt, "\xEF\xBB\xBF [config] \r\n", at("xdg"),
       at("home"), at("bin")},
      {"another program's config.ini beside it", std::nullopt, "[Settings]\r\nConfig=1\r\n",
       at("xdg"), at("home"), at("xdg/tavrolin")},
      {"XDG_CONFIG_HOME", std::nullopt, nullptr, at("xdg/a"), at("home"), at("xdg/a/tavrolin")},
      {"XDG_CONFIG_HOME not absolute", std::nullopt, nullptr, "xdg", at("home"),
       at("home/.config/tavrolin")},
      {"~/.config", std::nullopt, nullptr, "", at("home2"), at("home2/.config/tavrolin")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.besideProgram != nullptr) std::ofstream(at("bin/config.ini")) << row.besideProgram;
    const SettingsLocation location =
        FindSettingsDirectory(row.given, at("bin"), row.configHome, row.home);
    EXPECT_EQ(location.directory, row.expected);
    EXPECT_EQ(location.problem, "");
    EXPECT_TRUE(std::filesystem::is_directory(row.expected));
    // What the program makes is the user's alone, as its parents it made.
    if (row.expected != at("bin")) {
      EXPECT_EQ(modeOf(row.expected), 0700U);
      EXPECT_EQ(modeOf(std::filesystem::path(row.expected).parent_path().string()), 0700U);
    }
    std::filesystem::remove(at("bin/config.ini"));
  }
}

TEST_F(SettingsDirectory, WithNoHomeTheProgramsOwnDirectoryWithOneLine) {
  const SettingsLocation homeless = FindSettingsDirectory(std::nullopt, at("bin"), "", "");
  EXPECT_EQ(homeless.directory, at("bin"));
  EXPECT_NE(homeless.problem.find("no home directory"), std::string::npos) << homeless.problem;
}

}  // namespace
}  // namespace tavrolin::linux_backend
