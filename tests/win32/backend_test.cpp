// The Windows services that need no window: environment, processors, files,
// clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>

#include "environment_win.h"
#include "files_win.h"
#include "topology_win.h"
#include "win_testing.h"

namespace tavrolin::win32 {
namespace {

using testing::ReadAll;
using testing::TempDirectory;

constexpr auto Error = [](DWORD code) { return static_cast<std::uint32_t>(code); };

TEST(WinEnvironment, KnowsWhereTheProgramLivesAndReadsVariables) {
  WinEnvironment environment;
  EXPECT_EQ(environment.settingsDirectory(), testing::ExecutableDirectory());
  EXPECT_EQ(environment.pathSeparator(), '\\');
  // Variables: a long one, and missing told from empty.
  ASSERT_NE(::SetEnvironmentVariableA("TAVROLIN_TEST_VALUE", "a value"), 0);
  EXPECT_EQ(environment.variable("TAVROLIN_TEST_VALUE"), "a value");
  const std::string longValue(300, 'x');  // longer than the first buffer
  ::SetEnvironmentVariableA("TAVROLIN_TEST_VALUE", longValue.c_str());
  EXPECT_EQ(environment.variable("TAVROLIN_TEST_VALUE"), longValue);
  ::SetEnvironmentVariableA("TAVROLIN_TEST_VALUE", "");
  EXPECT_EQ(environment.variable("TAVROLIN_TEST_VALUE"), "");
  ::SetEnvironmentVariableA("TAVROLIN_TEST_VALUE", nullptr);
  EXPECT_EQ(environment.variable("TAVROLIN_TEST_VALUE"), std::nullopt);
  EXPECT_TRUE(environment.variable("NUMBER_OF_PROCESSORS").has_value());
}

// The system's own description, through the function looked up at run time:
// as many processors online as NUMBER_OF_PROCESSORS says, each in one core.
TEST(WinTopology, DescribesEveryProcessorOfTheMachineOnce) {
  const ProcessorTopology topology = WinTopology().describe();
  ASSERT_TRUE(topology.detailed) << ::GetLastError();
  const int count = std::stoi(WinEnvironment().variable("NUMBER_OF_PROCESSORS").value());
  EXPECT_EQ(std::popcount(topology.online), std::min(count, static_cast<int>(sizeof(void*) * 8)));
  int processorsInCores = 0;
  for (const std::uint64_t core : topology.cores) processorsInCores += std::popcount(core);
  EXPECT_EQ(processorsInCores, std::popcount(topology.online));
}

// Filled without padding where it fits; refused where it does not.
TEST(WinEnvironment, GivesTheComputerNameIntoABufferLargeEnough) {
  WinEnvironment environment;
  WinLastError lastError;
  std::string buffer(255, ' ');
  std::uint32_t size = 255;
  ASSERT_TRUE(environment.computerName(buffer, size));
  EXPECT_GT(size, 0U);
  EXPECT_EQ(buffer[size], '\0');
  EXPECT_EQ(std::string(buffer.data(), size), testing::ComputerName());

  size = 1;
  EXPECT_FALSE(environment.computerName(std::span(buffer).first(1), size));
  EXPECT_EQ(lastError.code(), Error(ERROR_BUFFER_OVERFLOW));
}

TEST(WinFileSystem, PlainFilesAreThoseADefaultListingShows) {
  TempDirectory directory;
  WinFileSystem files;
  WinLastError lastError;
  const struct {
    const char* name;
    DWORD attributes;  // 0: left as written
    FileStatus::Kind kind;
  } table[] = {
      {"config.ini", 0, FileStatus::kPlainFile},
      {"readonly.ini", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, FileStatus::kPlainFile},
      {"hidden.ini", FILE_ATTRIBUTE_HIDDEN, FileStatus::kOther},
      {"system.ini", FILE_ATTRIBUTE_SYSTEM, FileStatus::kOther},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    const std::string path = directory.file(row.name);
    ASSERT_TRUE(files.writeText(path, OpenMode::kFromStart, "xyz"));
    if (row.attributes != 0) ::SetFileAttributesA(path.c_str(), row.attributes);
    EXPECT_EQ(files.status(path).kind, row.kind);
  }
  EXPECT_EQ(files.status(directory.file("config.ini")).size, 3U);

  const auto kind = [&](const std::string& name) {
    return files.status(directory.file(name)).kind;
  };
  ::CreateDirectoryA(directory.file("folder.ini").c_str(), nullptr);
  EXPECT_EQ(kind("folder.ini"), FileStatus::kOther);
  EXPECT_EQ(kind("missing.ini"), FileStatus::kNotFound);
  EXPECT_EQ(kind("no-such-dir\\config.ini"), FileStatus::kNotFound);
  // A name the system refuses is no reason to think nothing is there.
  EXPECT_EQ(kind("bad|name.ini"), FileStatus::kOther);
  EXPECT_EQ(lastError.code(), Error(ERROR_INVALID_NAME));
}

TEST(WinFileSystem, WritesFromTheStartAppendsOrOnlyCreatesAndSaysWhyNot) {
  TempDirectory directory;
  WinFileSystem files;
  WinLastError lastError;
  const std::string path = directory.file("ErrorLog.txt");
  ASSERT_TRUE(files.writeText(path, OpenMode::kAppend, "one\r\n"));  // creates it
  ASSERT_TRUE(files.writeText(path, OpenMode::kAppend, "two\r\n"));
  EXPECT_EQ(ReadAll(path), "one\r\ntwo\r\n");
  ASSERT_TRUE(files.writeText(path, OpenMode::kFromStart, "new"));
  EXPECT_EQ(ReadAll(path), "new");
  // Bytes go out as they are: no line-end translation, NULs kept.
  const std::string bytes("a\nb\0c", 5);
  ASSERT_TRUE(files.writeText(path, OpenMode::kFromStart, bytes));
  EXPECT_EQ(ReadAll(path), bytes);

  EXPECT_FALSE(files.writeText(path, OpenMode::kCreateNew, "default"));
  EXPECT_EQ(lastError.code(), Error(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadAll(path), bytes);
  const std::string fresh = directory.file("config.ini");
  ASSERT_TRUE(files.writeText(fresh, OpenMode::kCreateNew, "default"));
  EXPECT_EQ(ReadAll(fresh), "default");

  // Failures leave the reason in the last error.
  ASSERT_TRUE(files.writeText(path, OpenMode::kFromStart, "old"));
  {
    // Held open by someone who shares it with nobody.
    UniqueFile locked(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(locked);
    EXPECT_FALSE(files.writeText(path, OpenMode::kAppend, "new"));
    EXPECT_EQ(lastError.code(), Error(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(files.writeText(path, OpenMode::kFromStart, "new"));
  }
  EXPECT_EQ(ReadAll(path), "old");

  EXPECT_FALSE(files.writeText(directory.file("no-such-dir\\x.txt"), OpenMode::kAppend, "x"));
  EXPECT_EQ(lastError.code(), Error(ERROR_PATH_NOT_FOUND));
  const std::string folder = directory.file("folder");
  ::CreateDirectoryA(folder.c_str(), nullptr);
  EXPECT_FALSE(files.writeText(folder, OpenMode::kFromStart, "x"));
  EXPECT_EQ(lastError.code(), Error(ERROR_ACCESS_DENIED));
}

TEST(WinClock, GivesTheUserFormatsWithoutTheTerminatingNul) {
  WinClock clock;
  const std::string date = clock.dateText();
  const std::string time = clock.timeText();
  ASSERT_FALSE(date.empty());
  EXPECT_EQ(time.find('\0'), std::string::npos);
  // The time has seconds: hour, minute and second separated twice.
  EXPECT_GE(std::count(time.begin(), time.end(), ':'), 2);
  char expected[128] = {};
  ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, expected, 128);
  EXPECT_EQ(date, expected);
}

}  // namespace
}  // namespace tavrolin::win32
