#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>

#include "diagnostics/error_log.h"
#include "diagnostics/failure.h"
#include "fake_platform.h"
#include "processes/process_lookup.h"
#include "report_text.h"

namespace tavrolin {
namespace {

class Processes : public ::testing::Test {
 protected:
  fakes::FakePlatform fake;
  ErrorLog log{fake.environment, fake.files, fake.clock, fake.lastError};
  PresenceQuery presence{fake.processes, fake.processes, log};
};

TEST_F(Processes, TheLastMatchingProcessWinsWhateverTheLetterCase) {
  fake.processes.processes = {{4, "System"},
                              {1000, "SupremeCommander.exe"},
                              {1004, "explorer.exe"},
                              {1008, "SUPREMECOMMANDER.EXE"},
                              {0, "SupremeCommander.exe"},  // never matches
                              {1012, "SupremeCommander.exe.bak"},
                              {1016, "\xC4rger\x80\xFF.exe"}};  // bytes as they are
  EXPECT_EQ(FindProcessId(fake.processes, log, "supremecommander.EXE"), 1008U);
  EXPECT_EQ(FindProcessId(fake.processes, log, "explorer.exe"), 1004U);
  EXPECT_EQ(FindProcessId(fake.processes, log, "\xC4rger\x80\xFF.exe"), 1016U);
  EXPECT_EQ(FindProcessId(fake.processes, log, "SupremeCommander"), 0U);
  EXPECT_EQ(FindProcessId(fake.processes, log, "ForgedAlliance.exe"), 0U);
  fake.processes.processes.clear();
  EXPECT_EQ(FindProcessId(fake.processes, log, "explorer.exe"), 0U);
  EXPECT_EQ(fake.log(), "");
}

// The name of process 0 has no NUL: reading it would run past its end, which
// the address sanitizer reports.
constexpr char kUnterminated[2] = {'G', 'a'};

class ListWithIdleRecord final : public ProcessList {
 public:
  std::unique_ptr<ProcessSnapshot> enumerate() override {
    class Snapshot final : public ProcessSnapshot {
     public:
      std::span<const ProcessRecord> records() const override { return records_; }

     private:
      const ProcessRecord records_[2] = {{1, 77, "Game.exe"}, {0, 0, kUnterminated}};
    };
    return std::make_unique<Snapshot>();
  }
};

TEST_F(Processes, TheNameOfProcessZeroIsNotRead) {
  ListWithIdleRecord list;
  EXPECT_EQ(FindProcessId(list, log, "game.exe"), 77U);
  EXPECT_EQ(fake.log(), "");
}

TEST_F(Processes, AFailedEnumerationGivesOneReportAndZero) {
  fake.processes.start("SupremeCommander.exe");
  fake.processes.listError = 1722;
  EXPECT_EQ(FindProcessId(fake.processes, log, "SupremeCommander.exe"), 0U);
  EXPECT_EQ(fake.log(), test::Report({"Error occurred in GetProcessID", "0  ", "DLL Error - 1722",
                                      "Variables:RetVal =0", "Variables:lngProcessID =0",
                                      "Variables:strTempProcessName =", "Variables:P =0"}));
}

TEST_F(Processes, PresenceMatchesTheWholeNameInAnyCaseAndStopsAtTheFirst) {
  fake.processes.processes = {{8, "svchost.exe"},
                              {12, "supremecommander.EXE"},
                              {16, "SupremeCommander.exe"},
                              {20, "explorer.exe"}};
  EXPECT_EQ(presence.presenceOf("GAMER-PC", "SupremeCommander.exe"), Presence::kRunning);
  EXPECT_EQ(fake.processes.namesVisited, 2);
  EXPECT_EQ(fake.processes.computerNamesAsked.back(), "GAMER-PC");
  EXPECT_EQ(presence.presenceOf("GAMER-PC", "SupremeCommander"), Presence::kNotRunning);
  EXPECT_EQ(presence.presenceOf("GAMER-PC", "Commander.exe"), Presence::kNotRunning);
  EXPECT_EQ(presence.presenceOf("GAMER-PC", "ForgedAlliance.exe"), Presence::kNotRunning);
  EXPECT_EQ(fake.processes.namesVisited, 14);  // the misses walk the whole list
  EXPECT_EQ(fake.log(), "");
}

TEST_F(Processes, AnOutageOfTheNameSourceIsReportedOnceAndTheListAnswers) {
  fake.processes.processes = {{0, "ForgedAlliance.exe"}, {12, "supremecommander.EXE"}};
  fake.processes.namesError = 0x80041003U;
  EXPECT_EQ(presence.presenceOf("GAMER-PC", "SupremeCommander.exe"), Presence::kRunning);
  EXPECT_EQ(presence.presenceOf("GAMER-PC", "ForgedAlliance.exe"),
            Presence::kNotRunning);  // pid 0 skipped
  EXPECT_EQ(presence.presenceOf("GAMER-PC", "SupremeCommander"), Presence::kNotRunning);
  const std::string outage =
      test::PresenceReport(test::kListUsed, "DLL Error - 2147749891", "SupremeCommander.exe");
  EXPECT_EQ(fake.log(), outage);
  EXPECT_TRUE(presence.inOutage());

  fake.processes.namesError.reset();  // recovery ends the outage silently
  EXPECT_EQ(presence.presenceOf("GAMER-PC", "SupremeCommander.exe"), Presence::kRunning);
  EXPECT_FALSE(presence.inOutage());
  EXPECT_EQ(fake.log(), outage);

  fake.processes.namesError = 0x80041003U;  // a new outage is a new report
  EXPECT_EQ(presence.presenceOf("GAMER-PC", "SupremeCommander.exe"), Presence::kRunning);
  EXPECT_EQ(fake.log(), outage + outage);
}

}  // namespace
}  // namespace tavrolin
