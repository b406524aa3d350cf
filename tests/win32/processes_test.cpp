// The process list, the WMI names and the affinity calls, against a running
// stand-in game.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "files_win.h"
#include "processes_win.h"
#include "win_testing.h"
#include "wmi_names.h"

namespace tavrolin::win32 {
namespace {

using testing::Eventually;
using testing::MasksOf;
using testing::StandIn;

constexpr const char* kGame = "SupremeCommander.exe";

bool Lists(const ProcessSnapshot& snapshot, DWORD processId, const std::string& name) {
  for (const ProcessRecord& record : snapshot.records()) {
    if (record.processId == processId && name == record.imageName) return true;
  }
  return false;
}

TEST(WtsProcessList, ListsTheGameWhileItRunsAndThisProcessWithASingleByteName) {
  StandIn game(kGame);
  ASSERT_TRUE(game.running());
  WtsProcessList list;
  ASSERT_TRUE(Eventually([&] {
    const auto snapshot = list.enumerate();
    return snapshot && Lists(*snapshot, game.id(), kGame);
  }));

  game.stop();
  const auto after = list.enumerate();
  ASSERT_NE(after, nullptr);
  EXPECT_GT(after->records().size(), 1U);
  for (const ProcessRecord& record : after->records()) ASSERT_NE(record.imageName, nullptr);
  EXPECT_FALSE(Lists(*after, game.id(), kGame));
  // Another snapshot frees its own buffer only.
  list.enumerate().reset();
  EXPECT_TRUE(Lists(*after, ::GetCurrentProcessId(), "win32_tests.exe"));
}

// WMI needs COM on the thread, apartment-threaded as on the program's GUI
// thread.
class WmiProcessNamesTest : public ::testing::Test {
 protected:
  ComApartment com_;
  WmiProcessNames names_;
  const std::string computer_ = testing::ComputerName();
};

// A process that is starting or ending (the game's console host) may have
// no name yet or no more: one listing of the game without an empty name.
TEST_F(WmiProcessNamesTest, VisitsEveryNameUntilTheVisitorStopsAndBindsAgainAfterAFailure) {
  ASSERT_TRUE(SUCCEEDED(com_.result()));
  StandIn game(kGame);
  int visits = 0;
  EXPECT_TRUE(Eventually([&] {
    bool seen = false;
    bool emptyName = false;
    visits = 0;
    const bool ok = names_.forEachName(computer_, [&](std::string_view name) {
      seen = seen || name == kGame;
      emptyName = emptyName || name.empty();
      ++visits;
      return true;
    });
    return ok && seen && !emptyName;
  }));
  EXPECT_GT(visits, 1);

  visits = 0;
  ASSERT_TRUE(names_.forEachName(computer_, [&](std::string_view) {
    ++visits;
    return false;
  }));
  EXPECT_EQ(visits, 1);

  // The bound object is kept between queries; a failure lets it go, and the
  // next query binds again.
  WinLastError lastError;
  const auto any = [](std::string_view) { return false; };
  EXPECT_FALSE(names_.forEachName("no-such-computer.invalid", any));
  EXPECT_NE(lastError.code(), 0U);
  EXPECT_TRUE(names_.forEachName(computer_, any));
  EXPECT_EQ(lastError.code(), 0U);
}

// A thread of its own, which never initialises COM.
struct UninitialisedQuery {
  bool result = true;
  DWORD error = 0;
  int visits = 0;  // names handed out
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

// Pinning the game, spreading it again and closing its handle: the soak, at
// every adjustment.
TEST(WinProcessControl, OpensOnlyWhatIsThereAndAllowsNoMaskOutsideTheSystemMask) {
  WinProcessControl control;
  WinLastError lastError;
  ::SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(control.open(0xFFFFFFF0U, kGame), nullptr);
  EXPECT_NE(lastError.code(), 0U);

  StandIn game(kGame);
  ASSERT_TRUE(game.running());
  const auto handle = control.open(game.id(), kGame);
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(handle->value(), 0);
  // What the game has now: a new process takes its creator's mask, which a
  // restriction of the test run (taskset) makes less than the system's.
  const DWORD_PTR before = MasksOf(game.handle()).process;
  EXPECT_EQ(control.affinity(*handle), std::optional<std::uint64_t>(before));
  const std::uint64_t system = MasksOf(::GetCurrentProcess()).system;
  if (system != ~std::uint64_t{0}) {
    const std::uint64_t outside = ~system & (system + 1);  // the lowest processor it lacks
    EXPECT_FALSE(control.setAffinity(*handle, outside));
    EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
  }
  ::SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(control.setAffinity(*handle, 0));
  EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MasksOf(game.handle()).process, before);  // unchanged
  // Pinned, it may still use every processor of the system.
  ASSERT_TRUE(control.setAffinity(*handle, 1));
  EXPECT_EQ(control.allowedMask(*handle), std::optional<std::uint64_t>(system));
}

}  // namespace
}  // namespace tavrolin::win32
