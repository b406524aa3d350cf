// The Windows services that need no window: environment, processors, files,
// clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <fstream>
#include <sstream>

#include "environment_win.h"
#include "files_win.h"
#include "standin_process.h"
#include "topology_win.h"

namespace tavrolin::win32 {
namespace {

using testing::TempDirectory;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(WinEnvironment, KnowsWhereTheProgramLives) {
  WinEnvironment environment;
  EXPECT_EQ(environment.settingsDirectory(), testing::ExecutableDirectory());
  EXPECT_EQ(environment.pathSeparator(), '\\');
  EXPECT_NE(environment.settingsDirectory().back(), '\\');
}

TEST(WinEnvironment, ReadsVariablesAndTellsMissingFromEmpty) {
  WinEnvironment environment;
  ASSERT_NE(::SetEnvironmentVariableA("TAVROLIN_TEST_VALUE", "a value"), 0);
  EXPECT_EQ(environment.variable("TAVROLIN_TEST_VALUE"), "a value");
  const std::string longValue(300, 'x');  // longer than the first buffer
  ::SetEnvironmentVariableA("TAVROLIN_TEST_VALUE", longValue.c_str());
  EXPECT_EQ(environment.variable("TAVROLIN_TEST_VALUE"), longValue);
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

TEST(WinEnvironment, ComputerNameFillsTheBufferWithoutPadding) {
  WinEnvironment environment;
  std::array<char, 255> buffer;
  buffer.fill(' ');
  std::uint32_t size = 255;
  ASSERT_TRUE(environment.computerName(buffer, size));
  EXPECT_GT(size, 0U);
  EXPECT_EQ(buffer[size], '\0');
  char expected[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD expectedSize = sizeof expected;
  ::GetComputerNameA(expected, &expectedSize);
  EXPECT_EQ(std::string(buffer.data(), size), std::string(expected, expectedSize));
}

TEST(WinEnvironment, ComputerNameFailsIntoATooSmallBuffer) {
  WinEnvironment environment;
  std::array<char, 1> buffer{};
  std::uint32_t size = 1;
  EXPECT_FALSE(environment.computerName(buffer, size));
  WinLastError lastError;
  EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(ERROR_BUFFER_OVERFLOW));
}

TEST(WinEnvironment, OnlyTheFirstCopyRuns) {
  WinEnvironment first;
  WinEnvironment second;
  EXPECT_FALSE(first.anotherInstanceRunning());
  EXPECT_TRUE(second.anotherInstanceRunning());
}

TEST(WinFileSystem, PlainFilesAreThoseADefaultListingShows) {
  TempDirectory directory;
  WinFileSystem files;
  WinLastError lastError;
  const auto kind = [&](const std::string& path) { return files.status(path).kind; };
  const std::string plain = directory.file("config.ini");
  ASSERT_TRUE(files.writeText(plain, OpenMode::kFromStart, "xyz"));
  EXPECT_EQ(kind(plain), FileStatus::kPlainFile);
  EXPECT_EQ(files.status(plain).size, 3U);

  const std::string readOnly = directory.file("readonly.ini");
  ASSERT_TRUE(files.writeText(readOnly, OpenMode::kFromStart, "x"));
  ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(kind(readOnly), FileStatus::kPlainFile);

  const std::string hidden = directory.file("hidden.ini");
  ASSERT_TRUE(files.writeText(hidden, OpenMode::kFromStart, "x"));
  ::SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(kind(hidden), FileStatus::kOther);

  const std::string system = directory.file("system.ini");
  ASSERT_TRUE(files.writeText(system, OpenMode::kFromStart, "x"));
  ::SetFileAttributesA(system.c_str(), FILE_ATTRIBUTE_SYSTEM);
  EXPECT_EQ(kind(system), FileStatus::kOther);

  const std::string folder = directory.file("folder.ini");
  ::CreateDirectoryA(folder.c_str(), nullptr);
  EXPECT_EQ(kind(folder), FileStatus::kOther);
  EXPECT_EQ(kind(directory.file("missing.ini")), FileStatus::kNotFound);
  EXPECT_EQ(kind(directory.file("no-such-dir\\config.ini")), FileStatus::kNotFound);
  // A name the system refuses is no reason to think nothing is there.
  EXPECT_EQ(kind(directory.file("bad|name.ini")), FileStatus::kOther);
  EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(ERROR_INVALID_NAME));
}

TEST(WinFileSystem, WritesFromTheStartAppendsOrOnlyCreates) {
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
  ASSERT_TRUE(files.writeText(path, OpenMode::kFromStart, std::string_view("a\nb\0c", 5)));
  EXPECT_EQ(ReadAll(path), std::string("a\nb\0c", 5));

  EXPECT_FALSE(files.writeText(path, OpenMode::kCreateNew, "default"));
  EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadAll(path), std::string("a\nb\0c", 5));
  const std::string fresh = directory.file("config.ini");
  ASSERT_TRUE(files.writeText(fresh, OpenMode::kCreateNew, "default"));
  EXPECT_EQ(ReadAll(fresh), "default");
}

TEST(WinFileSystem, WriteFailuresLeaveTheReasonInTheLastError) {
  TempDirectory directory;
  WinFileSystem files;
  WinLastError lastError;
  const std::string path = directory.file("ErrorLog.txt");
  ASSERT_TRUE(files.writeText(path, OpenMode::kFromStart, "old"));
  {
    // Held open by someone who shares it with nobody.
    UniqueFile locked(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(locked);
    EXPECT_FALSE(files.writeText(path, OpenMode::kAppend, "new"));
    EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(files.writeText(path, OpenMode::kFromStart, "new"));
  }
  EXPECT_EQ(ReadAll(path), "old");

  EXPECT_FALSE(files.writeText(directory.file("no-such-dir\\x.txt"), OpenMode::kAppend, "x"));
  EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
  const std::string folder = directory.file("folder");
  ::CreateDirectoryA(folder.c_str(), nullptr);
  EXPECT_FALSE(files.writeText(folder, OpenMode::kFromStart, "x"));
  EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
}

TEST(WinClock, GivesTheUserFormatsWithoutTheTerminatingNul) {
  WinClock clock;
  const std::string date = clock.dateText();
  const std::string time = clock.timeText();
  ASSERT_FALSE(date.empty());
  ASSERT_FALSE(time.empty());
  EXPECT_EQ(date.find('\0'), std::string::npos);
  EXPECT_EQ(time.find('\0'), std::string::npos);
  // The time has seconds: hour, minute and second separated twice.
  EXPECT_GE(std::count(time.begin(), time.end(), ':'), 2);
  char expected[128] = {};
  ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, expected, 128);
  EXPECT_EQ(date, expected);
}

}  // namespace
}  // namespace tavrolin::win32
