#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "affinity/bit_masks.h"
#include "controller/controller.h"
#include "fake_platform.h"
#include "report_text.h"

namespace tavrolin {
namespace {

const std::string kGame = "SupremeCommander.exe";
const std::string kLobby = "GPG.Multiplayer.Client.exe";

// Polls come at 10 s, 20 s, ... after startup; with a 5 s delay the delay's
// end falls between two polls.
struct WatchedGame {
  void Start(const std::string& delay = "5", const std::string& online = "1") {
    fake.files.files[fake.configPath()] =
        "[Config]\r\nInitializeDelay=" + delay + "\r\nOnlineEnabled=" + online + "\r\nGame=0\r\n";
    controller.start();
  }
  std::string State() const {
    const bool delay = controller.delayTimer().enabled();
    if (!controller.gameRunning()) return delay ? "delay running while not running" : "Idle";
    return delay ? "Waiting" : "Adjusted";
  }
  // First phases of adjustments of this process: pinned to processor 0.
  int Pins(std::uint32_t pid) const {
    int pins = 0;
    for (const auto& set : fake.processes.maskSets) pins += set.pid == pid && set.mask == 1;
    return pins;
  }
  void Advance(std::uint64_t milliseconds) { fake.time.advance(milliseconds); }

  fakes::FakePlatform fake;
  Controller controller{fake.platform};
};

class Watcher : public ::testing::Test, public WatchedGame {};

// The lines the end-to-end tests wait for, in the order a game start makes
// them: one per poll, one per step.
TEST_F(Watcher, TheDebugOutputSaysWhatEachPollFoundAndEachStepDid) {
  Start("15", "0");
  Advance(10000);
  const std::uint32_t pid = fake.processes.start(kGame);
  Advance(20000);  // seen at 20 s; the delay ends at 35 s, the next poll at 40 s
  fake.processes.start(kLobby);
  Advance(16000);
  const std::string game = kGame + " (PID " + std::to_string(pid) + ")";
  const std::vector<std::string> expected = {
      "poll 1: " + kLobby + " not running; " + kGame + " not running",
      "poll 2: " + kLobby + " not running; " + kGame + " running: delay of 15000 ms started",
      "poll 3: " + kLobby + " not running; " + kGame + " running: delay under way",
      "delay over: " + kGame + " running",
      "pin: " + game + " on processor 0; final step in 1000 ms",
      "final: " + game + " on processors 0-3",
      "poll 4: " + kLobby + " running; online play not allowed: " + kGame + " not looked for",
  };
  EXPECT_EQ(fake.debug.lines, expected);
  // Polls every 10 s from the start, the delay from the poll that saw the
  // game (later polls do not restart it), the final step 1 s after the pin.
  ASSERT_EQ(fake.processes.maskSets.size(), 2U);
  EXPECT_EQ(fake.processes.maskSets[0].at, 35000U);
  EXPECT_EQ(fake.processes.maskSets[1].at, 36000U);
  // Both names at polls 1-3, the game's at the delay's end; poll 4 does not
  // ask about the game.
  EXPECT_EQ(fake.processes.namesQueries, 8);
}

// A final mask narrower than the game's processors (processor 1 of 0-3):
// each poll while the game runs moves threads it started since onto that
// mask, and says so only when there were some. The game's end, or a game run
// anew under the same name (the handle's process has ended), lets the handle
// go at the next poll.
class KeptOnTheMask : public Watcher, public ::testing::WithParamInterface<bool> {};

TEST_P(KeptOnTheMask, ThreadsStartedLaterAreMovedAtEachPollUntilTheGameIsGone) {
  const bool restarted = GetParam();
  Start();
  controller.setProcessorSelection(SelectionOf(0b10));
  const std::uint32_t pid = fake.processes.start(kGame);
  Advance(16000);  // seen at 10 s, pinned at 15 s, processor 1 at 16 s
  EXPECT_EQ(fake.processes.maskSets.back().mask, 2U);
  EXPECT_TRUE(controller.keepingGameOnMask());
  EXPECT_EQ(fake.processes.openHandles, 1);

  Advance(4000);  // the poll at 20 s: nothing to move, nothing said
  ASSERT_EQ(fake.processes.strayWalks.size(), 1U);
  EXPECT_EQ(fake.processes.strayWalks[0].mask, 2U);
  EXPECT_TRUE(fake.beeper.moves.empty());

  fake.processes.find(pid)->strayThreads = 3;
  Advance(10000);
  ASSERT_EQ(fake.beeper.moves.size(), 1U);
  const auto& moved = fake.beeper.moves[0];
  EXPECT_EQ(std::tie(moved.game.imageName, moved.game.pid, moved.game.mask, moved.count),
            std::make_tuple(kGame, pid, decltype(moved.game.mask){2}, 3));
  EXPECT_EQ(fake.processes.strayWalks.size(), 2U);
  EXPECT_EQ(fake.beeper.beeps.size(), 1U);  // no beep for it
  EXPECT_EQ(State(), "Adjusted");

  fake.processes.stop(pid);
  if (restarted) fake.processes.start(kGame);
  Advance(10000);
  EXPECT_EQ(State(), restarted ? "Adjusted" : "Idle");
  EXPECT_FALSE(controller.keepingGameOnMask());
  EXPECT_EQ(fake.processes.openHandles, 0);
  Advance(30000);
  EXPECT_EQ(fake.processes.strayWalks.size(), restarted ? 3U : 2U);
  EXPECT_EQ(fake.beeper.moves.size(), 1U);
  EXPECT_EQ(fake.log(), "");
}

INSTANTIATE_TEST_SUITE_P(Watcher, KeptOnTheMask, ::testing::Bool());

// A timeline of game starts and ends, on a fresh program with this delay (in
// seconds) and online flag. Each step reads "events, N s -> State pins": what
// happens ("game" starts a game, "gone" ends the one started last, "restart"
// does both between two polls, "lobby" and "no lobby" start and end the lobby
// client, "delay N" sets the delay to N seconds), the time that then passes,
// the state seen and the pins of the game started last. `opens`: in all.
void ExpectTimeline(const char* name, const char* delay, const char* online,
                    const std::vector<std::string>& steps, int opens) {
  SCOPED_TRACE(name);
  WatchedGame watched;
  watched.Start(delay, online);
  std::uint32_t game = 0;
  for (const std::string& step : steps) {
    SCOPED_TRACE(step);
    const std::size_t arrow = step.find(" -> ");
    std::istringstream events(step.substr(0, arrow));
    std::istringstream outcome(step.substr(arrow + 4));
    std::string event, state;
    int pins = -1;
    std::uint64_t wait = 0;
    while (std::getline(events >> std::ws, event, ',')) {
      if (event == "gone" || event == "restart") watched.fake.processes.stop(game);
      if (event == "game" || event == "restart") game = watched.fake.processes.start(kGame);
      if (event == "lobby") watched.fake.processes.start(kLobby);
      if (event == "no lobby") watched.fake.processes.stopAll(kLobby);
      if (event.starts_with("delay ")) {
        watched.controller.setDelay(static_cast<std::uint32_t>(std::stoul(event.substr(6))) * 1000);
      }
      if (event.ends_with(" s")) wait = std::stoul(event) * 1000;
    }
    watched.Advance(wait);
    outcome >> state >> pins;
    EXPECT_EQ(watched.State(), state);
    EXPECT_EQ(watched.Pins(game), pins);
  }
  EXPECT_EQ(watched.fake.processes.opens, opens);
  watched.Advance(1000);                             // a last final step
  EXPECT_EQ(watched.fake.processes.openHandles, 0);  // each adjustment lets its handle go
  EXPECT_EQ(watched.fake.log(), "");
}

TEST(WatcherTimeline, EachGameStartIsAdjustedOnceAfterItsDelay) {
  ExpectTimeline("a game is left alone until a poll has seen it gone", "5", "1",
                 {"10 s -> Idle 0", "game, 15 s -> Adjusted 1", "60 s -> Adjusted 1",
                  "gone, 5 s -> Idle 1", "game, 10 s -> Waiting 0", "5 s -> Adjusted 1"},
                 2);
  // The first end is found by the delay's end, the second by a poll.
  ExpectTimeline("a game that exits during the delay is not adjusted", "5", "1",
                 {"game, 10 s -> Waiting 0", "gone, 5 s -> Idle 0",
                  "delay 30, game, 5 s -> Waiting 0", "gone, 10 s -> Idle 0", "60 s -> Idle 0"},
                 0);
  ExpectTimeline("a game that restarts between two polls counts as the same run", "5", "1",
                 {"game, 16 s -> Adjusted 1", "restart, 60 s -> Adjusted 0"}, 1);
  // A run started while the lobby client holds the polls is taken for the
  // adjusted one.
  ExpectTimeline(
      "a delay already running ends in an adjustment despite the lobby client", "5", "0",
      {"game, 10 s -> Waiting 0", "lobby, 5 s -> Adjusted 1", "1 s -> Adjusted 1",
       "gone, 20 s -> Adjusted 1", "game, 10 s -> Adjusted 0", "no lobby, 30 s -> Adjusted 0"},
      1);
  ExpectTimeline("with online play allowed the lobby client makes no difference", "5", "1",
                 {"lobby, game, 10 s -> Waiting 0", "5 s -> Adjusted 1"}, 1);
  // The lobby client holds the polls while online play is not allowed; the
  // game that still runs is taken in hand once it has gone.
  ExpectTimeline(
      "the lobby client holds the polls", "5", "0",
      {"lobby, game, 30 s -> Idle 0", "no lobby, 10 s -> Waiting 0", "5 s -> Adjusted 1"}, 1);
  // Once per game start, as with any delay; set to 0 while a delay runs, the
  // delay ends at the next poll.
  ExpectTimeline(
      "a delay of 0 adjusts at the poll that sees the game", "0", "1",
      {"game, 10 s -> Adjusted 1", "60 s -> Adjusted 1", "gone, delay 30, 10 s -> Idle 1",
       "game, 10 s -> Waiting 0", "delay 0, 10 s -> Adjusted 1"},
      2);
}

TEST_F(Watcher, TheGameChosenDuringTheDelayIsTheOneAdjusted) {
  Start("30");
  const std::uint32_t old = fake.processes.start(kGame);
  Advance(10000);
  EXPECT_EQ(State(), "Waiting");
  controller.setWatchedImage("ForgedAlliance.exe");
  const std::uint32_t chosen = fake.processes.start("ForgedAlliance.exe");
  Advance(30000);
  EXPECT_EQ(Pins(chosen), 1);
  EXPECT_EQ(Pins(old), 0);
  Advance(1000);
  ASSERT_EQ(fake.beeper.beeps.size(), 1U);
  EXPECT_EQ(fake.beeper.beeps[0].imageName, "ForgedAlliance.exe");
}

// A poll waiting in the queue runs at the event pump inside the first phase.
TEST_F(Watcher, APollAtThePumpFindingTheGameChangesNothing) {
  Start("30");
  const std::uint32_t pid = fake.processes.start(kGame);
  Advance(10000);
  int pollsAtPump = 0;
  fake.time.post([&] {
    ++pollsAtPump;
    controller.onPoll();
    EXPECT_TRUE(fake.processes.maskSets.size() == 1 && !controller.finalMaskTimer().enabled());
  });
  controller.onDelayElapsed();  // the delay ends
  EXPECT_EQ(pollsAtPump, 1);
  EXPECT_EQ(fake.time.pumps(), 1);
  EXPECT_EQ(State(), "Adjusted");
  EXPECT_TRUE(controller.finalMaskTimer().enabled());
  Advance(1000);
  EXPECT_EQ(fake.processes.find(pid)->mask, 15U);
  EXPECT_EQ(fake.beeper.beeps.size(), 1U);
}

TEST_F(Watcher, APollAtThePumpFindingTheGameGoneRearmsTheWatcher) {
  Start("30");
  const std::uint32_t pid = fake.processes.start(kGame);
  Advance(10000);
  fake.time.post([&] {
    fake.processes.stop(pid);
    controller.onPoll();
  });
  controller.onDelayElapsed();
  EXPECT_EQ(State(), "Idle");
  EXPECT_TRUE(controller.finalMaskTimer().enabled());  // the first phase still ends

  Advance(1000);  // the final mask has no process left to take it
  EXPECT_TRUE(fake.beeper.beeps.empty());
  EXPECT_EQ(fake.processes.openHandles, 0);
  // Both the final mask and the rescue are refused.
  const std::string refused = test::FinalMaskReport("1001  The system refused the affinity mask",
                                                    "DLL Error - 5", "4", "15");
  EXPECT_EQ(fake.log(), refused + refused);

  const std::uint32_t again = fake.processes.start(kGame);
  Advance(40000);
  EXPECT_EQ(Pins(again), 1);
}

// Every process source down: the watch stands still, and each outage is one
// report, not one per poll.
TEST_F(Watcher, APresenceQueryThatFailsLeavesTheStateAsItWas) {
  Start("30");
  fake.processes.start(kGame);
  Advance(10000);
  EXPECT_EQ(State(), "Waiting");

  fake.processes.namesError = 1722;
  fake.processes.listError = 1726;
  Advance(10000);
  const std::string blind =
      test::PresenceReport(test::kNoProcessSource, "DLL Error - 1726", kLobby);
  const std::string outage =
      test::PresenceReport(test::kListUsed, "DLL Error - 1722", kLobby) + blind;
  EXPECT_EQ(fake.log(), outage);
  Advance(20000);  // polls at 30 s and 40 s, and the delay's end at 40 s
  EXPECT_EQ(fake.log(), outage);
  EXPECT_EQ(State(), "Waiting");
  EXPECT_EQ(fake.processes.opens, 0);

  fake.processes.listError.reset();  // one poll answered by the list ends that outage
  Advance(10000);
  EXPECT_EQ(fake.log(), outage);
  fake.processes.listError = 1726;  // a new one is a new report
  Advance(10000);
  EXPECT_EQ(fake.log(), outage + blind);

  fake.processes.namesError.reset();  // back again: the delay's next end adjusts
  fake.processes.listError.reset();
  Advance(10000);
  EXPECT_EQ(State(), "Adjusted");
  EXPECT_EQ(fake.processes.opens, 1);
}

}  // namespace
}  // namespace tavrolin
