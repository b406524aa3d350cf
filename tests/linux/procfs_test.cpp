// The Linux backend's reading of /proc: the image name taken from a command
// line, and the identity check when a process is opened.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <string>

#include "last_error_linux.h"
#include "procfs.h"

namespace tavrolin::linux_backend {
namespace {

struct Cmdline {
  std::string text;
  std::string name;
};

TEST(ImageNameFromCmdline, TakesTheLastPartOfTheFirstArgument) {
  using namespace std::string_literals;
  const std::string longName(4096, 'x');
  const Cmdline cases[] = {
      {"", ""},
      {"SupremeCommander.exe", "SupremeCommander.exe"},  // no separator, no NUL
      {"C:\\Games\\SupremeCommander.exe\0-window\0"s, "SupremeCommander.exe"},
      {"/usr/bin/wine64\0C:\\x.exe\0"s, "wine64"},
      {"Z:/games\\fa/ForgedAlliance.exe\0"s, "ForgedAlliance.exe"},
      {"/opt/game/\0"s, ""},  // a trailing separator names nothing
      {"C:\\Games\\"s, ""},
      {"\0SupremeCommander.exe\0"s, ""},  // an empty first argument
      {longName, longName},               // 4 KiB cut short of its NUL
      {"/" + longName.substr(1), longName.substr(1)},
  };
  for (const Cmdline& line : cases) {
    EXPECT_EQ(ImageNameFromCmdline(line.text), line.name)
        << "command line of " << line.text.size() << " bytes";
  }
}

// An identifier handed to another program between the scan and the open is
// not opened: the name is checked once the process is held.
TEST(ProcFsControl, OpensOnlyAProcessOfTheGivenImageName) {
  ProcFsControl control;
  LinuxLastError lastError;
  const auto self = static_cast<std::uint32_t>(::getpid());
  EXPECT_EQ(control.open(self, "SupremeCommander.exe"), nullptr);
  EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(ESRCH));

  const auto handle = control.open(self, "LINUX_TESTS");  // names compare in any letter case
  ASSERT_NE(handle, nullptr);
  const auto mask = control.affinity(*handle);
  ASSERT_TRUE(mask.has_value());
  EXPECT_NE(*mask, 0U);
}

}  // namespace
}  // namespace tavrolin::linux_backend
