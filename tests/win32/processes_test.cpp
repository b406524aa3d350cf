// The process list, the WMI names and the affinity calls, against a running
// stand-in game.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "files_win.h"
#include "processes_win.h"
#include "standin_process.h"
#include "wmi_names.h"

namespace tavrolin::win32 {
namespace {

using testing::Eventually;
using testing::StandIn;

constexpr const char* kGame = "SupremeCommander.exe";

std::vector<ProcessRecord> Matching(const ProcessSnapshot& snapshot, const std::string& name) {
  std::vector<ProcessRecord> found;
  for (const ProcessRecord& record : snapshot.records()) {
    if (name == record.imageName) found.push_back(record);
  }
  return found;
}

TEST(WtsProcessList, FindsTheStartedGameByItsImageName) {
  StandIn game(kGame);
  ASSERT_TRUE(game.running());
  WtsProcessList list;
  bool seen = false;
  ASSERT_TRUE(Eventually([&] {
    const auto snapshot = list.enumerate();
    if (!snapshot) return false;
    for (const ProcessRecord& record : Matching(*snapshot, kGame)) {
      seen = seen || record.processId == game.id();
    }
    return seen;
  }));

  game.stop();
  const auto after = list.enumerate();
  ASSERT_NE(after, nullptr);
  for (const ProcessRecord& record : Matching(*after, kGame)) {
    EXPECT_NE(record.processId, game.id());
  }
}

TEST(WtsProcessList, ListsThisProcessWithASingleByteName) {
  WtsProcessList list;
  const auto snapshot = list.enumerate();
  ASSERT_NE(snapshot, nullptr);
  const auto records = snapshot->records();
  EXPECT_GT(records.size(), 1U);
  bool self = false;
  for (const ProcessRecord& record : records) {
    ASSERT_NE(record.imageName, nullptr);
    if (record.processId == ::GetCurrentProcessId()) {
      self = true;
      EXPECT_STREQ(record.imageName, "win32_tests.exe");
    }
  }
  EXPECT_TRUE(self);
}

TEST(WtsProcessList, SnapshotsAreIndependent) {
  WtsProcessList list;
  auto first = list.enumerate();
  auto second = list.enumerate();
  ASSERT_TRUE(first && second);
  const std::string name = first->records().front().imageName;
  second.reset();  // frees its own buffer only
  EXPECT_EQ(name, first->records().front().imageName);
}

// WMI needs COM on the thread, apartment-threaded as on the program's GUI
// thread.
class WmiProcessNamesTest : public ::testing::Test {
 protected:
  std::string computerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    ::GetComputerNameA(name, &size);
    return std::string(name, size);
  }
  ComApartment com_;
};

TEST_F(WmiProcessNamesTest, NamesIncludeTheStartedGame) {
  ASSERT_TRUE(SUCCEEDED(com_.result()));
  StandIn game(kGame);
  WmiProcessNames names;
  EXPECT_TRUE(Eventually([&] {
    bool seen = false;
    const bool ok = names.forEachName(computerName(), [&](std::string_view name) {
      seen = seen || name == kGame;
      return true;
    });
    return ok && seen;
  }));
}

TEST_F(WmiProcessNamesTest, StopsWhenTheVisitorSaysSo) {
  WmiProcessNames names;
  int visits = 0;
  ASSERT_TRUE(names.forEachName(computerName(), [&](std::string_view) {
    ++visits;
    return false;
  }));
  EXPECT_EQ(visits, 1);

  // A process that is still starting may have no name yet, so count the
  // named ones rather than insist on every name.
  int named = 0;
  ASSERT_TRUE(names.forEachName(computerName(), [&](std::string_view name) {
    named += name.empty() ? 0 : 1;
    return true;
  }));
  EXPECT_GT(named, 1);
}

// The bound object is kept between queries; a failure lets it go, and the
// next query binds again.
TEST_F(WmiProcessNamesTest, AQueryAfterAFailureBindsAgain) {
  WmiProcessNames names;
  WinLastError lastError;
  const auto any = [](std::string_view) { return false; };
  ASSERT_TRUE(names.forEachName(computerName(), any));
  EXPECT_FALSE(names.forEachName("no-such-computer.invalid", any));
  EXPECT_NE(lastError.code(), 0U);
  EXPECT_TRUE(names.forEachName(computerName(), any));
  EXPECT_EQ(lastError.code(), 0U);
}

// A thread of its own, which never initialises COM.
struct UninitialisedQuery {
  bool result = true;
  DWORD error = 0;
  int visits = 0;
};
DWORD WINAPI QueryWithoutCom(void* parameter) {
  auto& query = *static_cast<UninitialisedQuery*>(parameter);
  WmiProcessNames names;
  query.result = names.forEachName("localhost", [&](std::string_view) {
    ++query.visits;
    return true;
  });
  query.error = ::GetLastError();
  return 0;
}

TEST(WmiProcessNames, FailsWithTheReasonWhereCOMIsNotInitialised) {
  UninitialisedQuery query;
  const UniqueHandle worker(::CreateThread(nullptr, 0, QueryWithoutCom, &query, 0, nullptr));
  ASSERT_TRUE(worker);
  ::WaitForSingleObject(worker.get(), INFINITE);
  EXPECT_FALSE(query.result);
  EXPECT_EQ(query.error, static_cast<DWORD>(CO_E_NOTINITIALIZED));
  EXPECT_EQ(query.visits, 0);
}

// The system mask as the system gives it for this process.
DWORD_PTR SystemMask() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  ::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system);
  return system;
}

DWORD_PTR ProcessMask(HANDLE process) {
  DWORD_PTR mask = 0;
  DWORD_PTR system = 0;
  ::GetProcessAffinityMask(process, &mask, &system);
  return mask;
}

TEST(WinProcessControl, PinsTheGameAndSpreadsItAgain) {
  StandIn game(kGame);
  ASSERT_TRUE(game.running());
  WinProcessControl control;
  const auto handle = control.open(game.id(), kGame);
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(handle->value(), 0);

  ASSERT_TRUE(control.setAffinity(*handle, 1));
  EXPECT_EQ(ProcessMask(game.handle()), 1U);
  EXPECT_EQ(control.affinity(*handle), std::optional<std::uint64_t>(1));
  EXPECT_TRUE(control.newlyRefusedThreads(*handle).empty());

  const auto allowed = control.allowedMask(*handle);
  ASSERT_TRUE(allowed.has_value());
  EXPECT_EQ(*allowed, SystemMask());
  ASSERT_TRUE(control.setAffinity(*handle, *allowed));
  EXPECT_EQ(ProcessMask(game.handle()), *allowed);
}

TEST(WinProcessControl, RefusesMasksOutsideTheSystemMask) {
  StandIn game(kGame);
  WinProcessControl control;
  const auto handle = control.open(game.id(), kGame);
  ASSERT_NE(handle, nullptr);
  // What the game has now: a new process takes its creator's mask, which a
  // restriction of the test run (taskset) makes less than the system's.
  const DWORD_PTR before = ProcessMask(game.handle());
  EXPECT_EQ(control.affinity(*handle), std::optional<std::uint64_t>(before));
  WinLastError lastError;
  const std::uint64_t system = SystemMask();
  if (system != ~std::uint64_t{0}) {
    const std::uint64_t outside = ~system & (system + 1);  // the lowest processor it lacks
    EXPECT_FALSE(control.setAffinity(*handle, outside));
    EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_FALSE(control.setAffinity(*handle, 0));
  EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(ProcessMask(game.handle()), before);  // unchanged
}

TEST(WinProcessControl, OpeningAProcessThatIsNotThereFails) {
  WinProcessControl control;
  WinLastError lastError;
  EXPECT_EQ(control.open(0xFFFFFFF0U, kGame), nullptr);
  EXPECT_NE(lastError.code(), 0U);
}

TEST(WinProcessControl, ClosesTheHandleWhenItGoes) {
  StandIn game(kGame);
  WinProcessControl control;
  auto handle = control.open(game.id(), kGame);
  ASSERT_NE(handle, nullptr);
  const auto raw = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle->value()));
  DWORD flags = 0;
  EXPECT_NE(::GetHandleInformation(raw, &flags), 0);
  handle.reset();
  EXPECT_EQ(::GetHandleInformation(raw, &flags), 0);
}

}  // namespace
}  // namespace tavrolin::win32
