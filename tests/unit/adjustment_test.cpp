#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "affinity/bit_masks.h"
#include "affinity/processor_presets.h"
#include "controller/controller.h"
#include "fake_platform.h"
#include "report_text.h"

namespace tavrolin {
namespace {

const std::string kGame = "SupremeCommander.exe";
constexpr std::uint64_t kAll = ~std::uint64_t{0};

// Four processors, default settings, the game running as process 1000
// (handle 1256). The first phase runs at 0 ms, so no poll interferes.
class Adjustment : public ::testing::Test {
 protected:
  Adjustment() {
    controller.start();
    pid = fake.processes.start(kGame);
  }
  void Select(const std::vector<std::string>& items) {
    ProcessorSelection selection;
    for (std::size_t i = 0; i < items.size(); ++i) {
      selection.add(items[i], std::to_string(i + 1) + "key");
    }
    controller.setProcessorSelection(std::move(selection));
  }
  // (mask, simulated time, accepted) of every mask set, in order.
  std::vector<std::tuple<std::uint64_t, std::uint64_t, bool>> Sets() const {
    std::vector<std::tuple<std::uint64_t, std::uint64_t, bool>> sets;
    for (const auto& set : fake.processes.maskSets) {
      EXPECT_EQ(set.pid, pid);
      sets.emplace_back(set.mask, set.at, set.accepted);
    }
    return sets;
  }
  void BothPhases() {
    controller.pinToFirstProcessor(kGame);
    fake.time.advance(1000);
  }
  std::string PinReport(std::string_view numberLine, std::string_view dllError,
                        std::string_view custom, std::string_view pidText, std::string_view handle,
                        std::string_view processors, std::string_view mask) {
    return test::Report({"Error occurred in SetAffinity", numberLine, dllError,
                         "Custom Error - " + std::string(custom),
                         "Variables:strImageName =SupremeCommander.exe",
                         "Variables:lngPID =" + std::string(pidText),
                         "Variables:lngHwndProcess =" + std::string(handle),
                         "Variables:iProcessors =" + std::string(processors),
                         "Variables:MyMask =" + std::string(mask)});
  }
  std::string FinalMaskReport(std::string_view numberLine, std::string_view dllError,
                              std::string_view processors, std::string_view mask) {
    return test::Report({"Error occurred in Timer1_Timer", numberLine, dllError,
                         "Variables:lngPID =1000", "Variables:lngHwndProcess =1256",
                         "Variables:numProcessors =" + std::string(processors),
                         "Variables:MyMask =" + std::string(mask)});
  }

  fakes::FakePlatform fake;
  Controller controller{fake.platform};
  std::uint32_t pid = 0;
};

TEST_F(Adjustment, PinsToProcessorZeroThenSetsTheFinalMaskOneSecondLater) {
  controller.pinToFirstProcessor(kGame);
  EXPECT_EQ(Sets(), (decltype(Sets()){{1, 0, true}}));
  EXPECT_TRUE(controller.finalMaskTimer().enabled());
  EXPECT_EQ(fake.processes.openHandles, 1);
  fake.time.advance(999);
  EXPECT_EQ(Sets().size(), 1U);
  EXPECT_TRUE(fake.beeper.beeps.empty());

  fake.time.advance(1);
  EXPECT_EQ(Sets(), (decltype(Sets()){{1, 0, true}, {15, 1000, true}}));
  ASSERT_EQ(fake.beeper.beeps.size(), 1U);
  EXPECT_EQ(fake.beeper.beeps[0].pid, pid);
  EXPECT_EQ(fake.beeper.beeps[0].mask, 15U);
  EXPECT_EQ(controller.processorCount(), 4);
  EXPECT_EQ(fake.processes.openHandles, 0);
  EXPECT_FALSE(controller.finalMaskTimer().enabled());
  fake.time.advance(5000);
  EXPECT_EQ(Sets().size(), 2U);
  EXPECT_EQ(fake.beeper.beeps.size(), 1U);
  EXPECT_EQ(fake.log(), "");
}

struct Selection {
  std::vector<std::string> items;
  const char* processorCount;
  std::uint64_t mask;
};

void PrintTo(const Selection& selection, std::ostream* out) {
  for (const std::string& item : selection.items) *out << item << ',';
  *out << " of " << selection.processorCount;
}

class Selected : public Adjustment, public ::testing::WithParamInterface<Selection> {};

TEST_P(Selected, OnlyExactTrueItemsCount) {
  fake.environment.variables["NUMBER_OF_PROCESSORS"] = GetParam().processorCount;
  Select(GetParam().items);
  BothPhases();
  EXPECT_EQ(Sets(), (decltype(Sets()){{1, 0, true}, {GetParam().mask, 1000, true}}));
  EXPECT_EQ(fake.beeper.beeps.size(), 1U);
  EXPECT_EQ(controller.processorCount(), 0);  // not counted when there is a selection
}

INSTANTIATE_TEST_SUITE_P(Adjustment, Selected,
                         ::testing::Values(Selection{{"True", "False", "True", "True"}, "4", 13},
                                           Selection{{"False", "True", "False", "True"}, "4", 10},
                                           Selection{{"True", "true"}, "4", 1},
                                           Selection{{"True", "TRUE", " True", "True "}, "4", 1},
                                           Selection{{"True", "False", "True", "True"}, "2", 13}));

TEST_F(Adjustment, ARefusedFinalMaskIsReportedAndTheGameGetsBackWhatItHad) {
  Select({"False", "False", "False", "False"});
  BothPhases();
  EXPECT_EQ(Sets(), (decltype(Sets()){{1, 0, true}, {0, 1000, false}, {15, 1000, true}}));
  EXPECT_TRUE(fake.beeper.beeps.empty());  // the rescue is no adjustment
  EXPECT_EQ(fake.log(), FinalMaskReport("1001  The system refused the affinity mask",
                                        "DLL Error - 87", "0", "0"));
  EXPECT_EQ(fake.processes.openHandles, 0);
  EXPECT_FALSE(controller.finalMaskTimer().enabled());
}

// A game in a job that allows processors 0-1: the final mask 0-3 is refused,
// and the game gets back exactly what it had before the first phase, not
// every processor of the system (which the job refuses as well).
TEST_F(Adjustment, TheRescueGivesBackTheMaskTheGameHadBeforeThePin) {
  fakes::FakeProcesses::Process& game = *fake.processes.find(pid);
  game.job = game.mask = 0b0011;
  BothPhases();
  EXPECT_EQ(Sets(), (decltype(Sets()){{1, 0, true}, {15, 1000, false}, {3, 1000, true}}));
  EXPECT_EQ(game.mask, 3U);
  EXPECT_TRUE(fake.beeper.beeps.empty());
  EXPECT_EQ(fake.log(), FinalMaskReport("1001  The system refused the affinity mask",
                                        "DLL Error - 87", "4", "15"));
}

// A game in a cpuset that allows processor 1 only: the pin is refused (one
// report, with the system's code), the final step still comes on time, and
// the beep names what took effect, with one report of what was left out.
TEST_F(Adjustment, InACpusetTheRefusedPinIsReportedAndTheBeepNamesWhatTookEffect) {
  fakes::FakeProcesses::Process& game = *fake.processes.find(pid);
  game.cpuset = game.mask = 0b0010;
  BothPhases();
  EXPECT_EQ(Sets(), (decltype(Sets()){{1, 0, false}, {15, 1000, true}}));
  EXPECT_EQ(game.mask, 2U);
  ASSERT_EQ(fake.beeper.beeps.size(), 1U);
  EXPECT_EQ(fake.beeper.beeps[0].mask, 2U);
  EXPECT_EQ(fake.log(),
            PinReport("1001  The system refused the affinity mask", "DLL Error - 22", "", "1000",
                      "1256", "4", "0") +
                FinalMaskReport("1006  The system left out processors that were asked for: 0,2-3",
                                "DLL Error - 22", "4", "15"));
}

// A thread with a cpuset of its own refuses what the rest of the game takes:
// it is named once, in the first report that it causes.
TEST_F(Adjustment, AThreadThatRefusesIsNamedOnce) {
  fakes::FakeProcesses::Process& game = *fake.processes.find(pid);
  game.threadCpusets = {{1003, 0b0010}, {1007, 0b0100}};
  Select({"True", "False", "False", "False"});  // processor 0 alone: refused by both again
  BothPhases();
  EXPECT_EQ(Sets(), (decltype(Sets()){{1, 0, true}, {1, 1000, true}, {15, 1000, true}}));
  EXPECT_EQ(game.mask, 15U);  // the rescue
  EXPECT_TRUE(fake.beeper.beeps.empty());
  EXPECT_EQ(fake.log(),
            PinReport("1001  The system refused the affinity mask for threads 1003, 1007",
                      "DLL Error - 22", "", "1000", "1256", "4", "0") +
                FinalMaskReport("1001  The system refused the affinity mask", "DLL Error - 22", "0",
                                "1"));
}

// Ending the program between the two phases runs the final step at once,
// before shutdown goes on: 500 ms into the gap, or with the exit already
// waiting at the event pump inside the first phase.
class ExitInTheGap : public Adjustment, public ::testing::WithParamInterface<bool> {};

TEST_P(ExitInTheGap, TheFinalStepRunsBeforeShutdownGoesOn) {
  const bool atThePump = GetParam();
  if (atThePump) {
    fake.time.post([&] {
      EXPECT_TRUE(controller.finalStepPending());
      controller.exitProgram();
    });
    controller.pinToFirstProcessor(kGame);
  } else {
    controller.pinToFirstProcessor(kGame);
    fake.time.advance(500);
    EXPECT_TRUE(controller.finalStepPending());
    controller.exitProgram();
  }
  const std::uint64_t exitAt = atThePump ? 0 : 500;
  EXPECT_EQ(Sets(), (decltype(Sets()){{1, 0, true}, {15, exitAt, true}}));
  ASSERT_EQ(fake.beeper.beeps.size(), 1U);
  EXPECT_EQ(fake.beeper.beeps[0].mask, 15U);
  EXPECT_EQ(fake.environment.endedWith, 0);
  EXPECT_FALSE(controller.finalStepPending());
  EXPECT_FALSE(controller.finalMaskTimer().enabled());
  EXPECT_EQ(fake.processes.openHandles, 0);
  fake.time.advance(5000);
  EXPECT_EQ(Sets().size(), 2U);
  EXPECT_EQ(fake.log(), "");
}

INSTANTIATE_TEST_SUITE_P(Adjustment, ExitInTheGap, ::testing::Bool());

TEST_F(Adjustment, ASingleProcessorIsLeftAlone) {
  fake.environment.variables["NUMBER_OF_PROCESSORS"] = "1";
  BothPhases();
  fake.time.advance(5000);
  EXPECT_EQ(fake.processes.opens, 1);
  EXPECT_TRUE(Sets().empty());
  EXPECT_TRUE(fake.beeper.beeps.empty());
  EXPECT_EQ(fake.processes.openHandles, 0);
  EXPECT_FALSE(controller.finalMaskTimer().enabled());
  EXPECT_EQ(fake.log(), "");
}

TEST_F(Adjustment, AGameGoneBeforeTheFirstPhaseGivesExactlyOneReport) {
  fake.processes.stop(pid);
  BothPhases();
  EXPECT_EQ(fake.log(),
            PinReport("0  ", "DLL Error - 0", "Could Not Get process ID of SupremeCommander.exe",
                      "0", "", "0", "0"));
  EXPECT_EQ(controller.customErrorText(), "");
  EXPECT_EQ(fake.processes.opens, 0);
  EXPECT_FALSE(controller.finalMaskTimer().enabled());
  EXPECT_TRUE(fake.beeper.beeps.empty());
}

TEST_F(Adjustment, AReportAfterACompletedAdjustmentShowsNoHandle) {
  BothPhases();
  fake.processes.stop(pid);
  controller.pinToFirstProcessor(kGame);
  EXPECT_EQ(fake.log(),
            PinReport("0  ", "DLL Error - 0", "Could Not Get process ID of SupremeCommander.exe",
                      "0", "", "4", "15"));
}

TEST_F(Adjustment, AProcessThatCannotBeOpenedIsReportedWithTheOpenError) {
  fake.processes.openError = 5;
  BothPhases();
  const std::string openFailed =
      PinReport("0  ", "DLL Error - 5", "Error in OpenProcess For the Process ID: 1000", "1000",
                "0", "0", "0");
  EXPECT_EQ(fake.log(), openFailed);
  EXPECT_TRUE(Sets().empty());
  EXPECT_FALSE(controller.finalMaskTimer().enabled());
  EXPECT_TRUE(fake.beeper.beeps.empty());
  EXPECT_EQ(controller.customErrorText(), "");

  fake.processes.stop(pid);  // the slot keeps the failed open
  fake.processes.openError.reset();
  controller.pinToFirstProcessor(kGame);
  const std::string gone =
      PinReport("0  ", "DLL Error - 5", "Could Not Get process ID of SupremeCommander.exe", "0",
                "0", "0", "0");
  EXPECT_EQ(fake.log(), openFailed + gone);

  // A process whose processors cannot be read counts as one that cannot be
  // opened: no rescue could give it back what it had.
  pid = fake.processes.start(kGame);
  fake.processes.readError = 6;
  controller.pinToFirstProcessor(kGame);
  EXPECT_EQ(fake.log(),
            openFailed + gone +
                PinReport("0  ", "DLL Error - 6", "Error in OpenProcess For the Process ID: 1004",
                          "1004", "0", "0", "0"));
  EXPECT_TRUE(Sets().empty());
  EXPECT_EQ(fake.processes.openHandles, 0);
}

// The final mask for a processor count, in a 64-bit and in a 32-bit build:
// processors past the width are left out, with a report.
struct Width {
  const char* processorCount;
  std::uint64_t mask64;
  bool reported64;
  std::uint64_t mask32;
  bool reported32;
};

void PrintTo(const Width& width, std::ostream* out) {
  *out << width.processorCount;
}

class Wide : public Adjustment, public ::testing::WithParamInterface<Width> {};

TEST_P(Wide, MasksAreAsWideAsAPointer) {
  fake.processes.systemMask = kAll;
  fake.environment.variables["NUMBER_OF_PROCESSORS"] = GetParam().processorCount;
  BothPhases();
  const bool wide = kMaskBits == 64;
  const std::uint64_t mask = wide ? GetParam().mask64 : GetParam().mask32;
  EXPECT_EQ(Sets(), (decltype(Sets()){{1, 0, true}, {mask, 1000, true}}));
  ASSERT_EQ(fake.beeper.beeps.size(), 1U);
  EXPECT_EQ(fake.beeper.beeps[0].mask, mask);
  if (wide ? GetParam().reported64 : GetParam().reported32) {
    EXPECT_EQ(fake.log(), FinalMaskReport("1003  Processors beyond the mask width are left out",
                                          "DLL Error - 0", GetParam().processorCount, "0"));
  } else {
    EXPECT_EQ(fake.log(), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Adjustment, Wide,
                         ::testing::Values(Width{"31", 0x7FFFFFFF, false, 0x7FFFFFFF, false},
                                           Width{"32", 0xFFFFFFFF, false, 0xFFFFFFFF, false},
                                           Width{"33", 0x1FFFFFFFF, false, 0xFFFFFFFF, true},
                                           Width{"64", kAll, false, 0xFFFFFFFF, true},
                                           Width{"65", kAll, true, 0xFFFFFFFF, true},
                                           Width{"32767", kAll, true, 0xFFFFFFFF, true}));

TEST_F(Adjustment, SelectedPositionsPastTheTableAreLeftOut) {
  fake.processes.systemMask = kAll;
  std::vector<std::string> items(70, "False");
  items[0] = items[31] = items[63] = items[64] = items[69] = "True";
  Select(items);
  BothPhases();
  const std::uint64_t within32 = (std::uint64_t{1} << 31) | 1U;
  EXPECT_EQ(fake.processes.maskSets.back().mask,
            kMaskBits == 64 ? within32 | (std::uint64_t{1} << 63) : within32);
  EXPECT_EQ(test::ReportCount(fake.log()), 1U);
  EXPECT_NE(fake.log().find("1003  "), std::string::npos);
}

// NUMBER_OF_PROCESSORS, or nullopt when it is not set.
class UnknownCount : public Adjustment,
                     public ::testing::WithParamInterface<std::optional<std::string>> {};

TEST_P(UnknownCount, TheFinalMaskIsEveryAllowedProcessor) {
  if (GetParam()) {
    fake.environment.variables["NUMBER_OF_PROCESSORS"] = *GetParam();
  } else {
    fake.environment.variables.erase("NUMBER_OF_PROCESSORS");
  }
  BothPhases();
  EXPECT_EQ(Sets(), (decltype(Sets()){{1, 0, true}, {15, 1000, true}}));
  ASSERT_EQ(fake.beeper.beeps.size(), 1U);
  EXPECT_EQ(fake.beeper.beeps[0].mask, 15U);
  EXPECT_EQ(fake.processes.openHandles, 0);
  EXPECT_FALSE(controller.finalMaskTimer().enabled());
  EXPECT_EQ(fake.log(),
            PinReport("13  Type mismatch", "DLL Error - 0", "", "1000", "1256", "0", "0") +
                FinalMaskReport("1002  NUMBER_OF_PROCESSORS is missing or not a number",
                                "DLL Error - 0", "0", "0"));
}

INSTANTIATE_TEST_SUITE_P(Adjustment, UnknownCount, ::testing::Values(std::nullopt, "abc", "4x"));

TEST_F(Adjustment, NoHandleOutlivesItsAdjustment) {
  fake.processes.stop(pid);
  for (int run = 0; run < 12; ++run) {
    controller.setProcessorSelection({});
    fake.environment.variables["NUMBER_OF_PROCESSORS"] = run % 4 == 1 ? "1" : "4";
    if (run % 4 == 2) Select({"False"});
    const std::uint32_t game = fake.processes.start(kGame);
    // A poll 10 s later, the 30 s delay, the final step at 41 s.
    const std::uint64_t untilCheck = run % 4 == 3 ? 40500 : 50000;
    fake.time.advance(untilCheck);
    if (run % 4 == 3) fake.processes.stop(game);  // gone before the final step
    fake.time.advance(60000 - untilCheck);
    EXPECT_EQ(fake.processes.openHandles, 0) << "run " << run;
    fake.processes.stop(game);
    fake.time.advance(10000);
  }
  EXPECT_EQ(fake.processes.opens, 12);
}

// The CPUs key over a machine of eight processors: a 96 MB L3 on 0-3, 32 MB
// on 4-7 (unless a row has caches of its own), SMT siblings n and n+1,
// performance cores 4-7. The final mask's processors (0: every processor),
// the presets that chose them, the one report, if any.
struct ProcessorChoiceCase {
  const char* text;
  std::uint64_t online;
  std::uint64_t processors;
  const char* failure;  // the report's number line, or nullptr for none
  const char* presets = "";
  bool described = true;  // the system describes caches, cores and kinds
  std::vector<ProcessorTopology::Cache> caches = {{0xF0, 32 << 20}, {0x0F, 96 << 20}};
};

TEST(BitMasks, TheCpusValuePicksTheMachinesProcessors) {
  const std::string notHere = "1010  The CPUs list names processors this machine does not have: ";
  const std::string missing5 = notHere + "5", missing57 = notHere + "5-7";
  const std::string width = std::to_string(kMaskBits);
  const std::string pastWidth =
      notHere + "2-" + std::to_string(kMaskBits - 1) + "," + width + " and above";
  const std::string onlyPastWidth = notHere + width + " and above";
  const char* mismatch = "13  Type mismatch";
  const char* noneTogether =
      "1011  The CPUs presets select no processor together; every processor is used";
  const char* notDescribed =
      "1012  The system does not describe its processors; the CPUs presets mean every processor";
  const char* large = "LargeCache";
  const ProcessorChoiceCase cases[] = {
      {"All", 0xF, 0, nullptr},
      {"aLL", 0xF, 0, nullptr},
      {"", 0xF, 0, nullptr},  // a file without the key
      {"1", 0x3, 0b10, nullptr},
      {"0-3,6", 0xFF, 0b1001111, nullptr},
      {" 0 - 1 ,\t3 ", 0xF, 0b1011, nullptr},
      {"1,0-1,1", 0xF, 0b11, nullptr},
      {"abc", 0xF, 0, mismatch},
      {"0-", 0xF, 0, mismatch},
      {"3-1", 0xF, 0, mismatch},
      {"0,,1", 0xF, 0, mismatch},
      {"1,", 0xF, 0, mismatch},
      {"-1", 0xF, 0, mismatch},
      {"1.5", 0xF, 0, mismatch},
      {"All,1", 0xF, 0, mismatch},
      {"5-7", 0xF, 0, missing57.c_str()},  // none of this machine's: every processor
      {"1,5", 0xF, 0b10, missing5.c_str()},
      {"0-100", 0x3, 0b11, pastWidth.c_str()},
      {"99999999999999999999999", 0xF, 0, onlyPastWidth.c_str()},
      {"0-1", 0xF, 0b11, nullptr, "", false},  // a list needs no description
      {" largecache ", 0xFF, 0x0F, nullptr, large},
      {"PERFORMANCECORES", 0xFF, 0xF0, nullptr, "PerformanceCores"},
      {"LargeCache + onePerCore", 0xFF, 0x05, nullptr, "LargeCache+OnePerCore"},
      {"LargeCache+PerformanceCores", 0xFF, 0, noneTogether},
      {"Large Cache", 0xFF, 0, mismatch},
      {"LargeCache+", 0xFF, 0, mismatch},
      {"LargeCache", 0xFF, 0, notDescribed, "", false},
      // Only a cache more than twice as large as every other one counts;
      // one named with and without its offline processor 3 is one cache.
      {"LargeCache", 0xFF, 0xFF, nullptr, large, true, {{0x0F, 16 << 20}, {0xF0, 8 << 20}}},
      {"LargeCache", 0xFF, 0x0F, nullptr, large, true, {{0x0F, 16 << 20}, {0xF0, (8 << 20) - 1}}},
      {"LargeCache", 0xF7, 0x07, nullptr, large, true, {{0x0F, 9}, {0x07, 9}, {0xF0, 4}}},
  };
  for (const ProcessorChoiceCase& c : cases) {
    SCOPED_TRACE(c.text);
    fakes::FakePlatform fake;
    fake.topology.topology = {.online = c.online,
                              .detailed = c.described,
                              .level3Caches = c.caches,
                              .performance = 0xF0,
                              .cores = {0x03, 0x0C, 0x30, 0xC0}};
    ErrorLog log(fake.environment, fake.files, fake.clock, fake.lastError);
    const ProcessorTopology topology = fake.topology.describe();
    log.recordLastError();
    const ProcessorChoice choice = ReadProcessorChoice(log, "Form_Load", c.text, topology);
    EXPECT_EQ(choice.processors, c.processors);
    EXPECT_EQ(choice.presets, c.presets);
    const std::string report =
        c.failure == nullptr
            ? ""
            : test::Report({"Error occurred in Form_Load", c.failure,
                            c.described ? "DLL Error - 0" : "DLL Error - 127",
                            "Variables:Key =CPUs", "Variables:Value =" + std::string(c.text)});
    EXPECT_EQ(fake.log(), report);
  }
  const ProcessorSelection selection = SelectionOf(0b1010);
  ASSERT_EQ(selection.count(), 4U);
  EXPECT_EQ(selection.item(1), "False");
  EXPECT_EQ(selection.item(2), "True");
  EXPECT_EQ(selection.item(4), "True");
}

// config.ini's CPUs, read at startup, makes the final mask; the beep and the
// debug output's final line name the presets. "All" is the online
// processors, also where they have gaps.
TEST(BitMasks, TheCpusValueReadAtStartupMakesTheFinalMask) {
  const struct {
    const char* cpus;
    std::uint64_t online;
    const char* processorCount;
    std::uint64_t mask;
    const char* presets;
    const char* finalLine;
  } rows[] = {
      {"LargeCache", 0xF, "4", 0xC, "LargeCache",
       "on processors 2-3 (LargeCache), kept on them while it runs"},
      {"All", 0b1101, "3", 0b1101, "", "on processors 0,2-3"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.cpus);
    fakes::FakePlatform fake;
    fake.processes.systemMask = fake.topology.topology.online = row.online;
    fake.environment.variables["NUMBER_OF_PROCESSORS"] = row.processorCount;
    fake.topology.topology.level3Caches = {{0x3, 32 << 20}, {0xC, 96 << 20}};
    fake.files.files[fake.configPath()] =
        "[Config]\r\nInitializeDelay=30\r\nOnlineEnabled=1\r\nCPUs=" + std::string(row.cpus) +
        "\r\nGame=0\r\n";
    Controller controller(fake.platform);
    controller.start();
    const std::uint32_t pid = fake.processes.start(kGame);
    controller.pinToFirstProcessor(kGame);
    fake.time.advance(1000);
    EXPECT_EQ(fake.processes.find(pid)->mask, row.mask);
    ASSERT_EQ(fake.beeper.beeps.size(), 1U);
    EXPECT_EQ(fake.beeper.beeps[0].presets, row.presets);
    EXPECT_EQ(fake.debug.lines.back(), "final: " + kGame + " (PID 1000) " + row.finalLine);
    EXPECT_EQ(fake.log(), "");
  }
}

TEST(BitMasks, MasksAreDescribedAsProcessorRanges) {
  EXPECT_EQ(DescribeMask(0), "none");
  EXPECT_EQ(DescribeMask(15), "0-3");
  EXPECT_EQ(DescribeMask(13), "0,2-3");
  EXPECT_EQ(DescribeMask(0x5), "0,2");
  EXPECT_EQ(DescribeMask(std::uint64_t{1} << 63), "63");
  EXPECT_EQ(DescribeMask(kAll), "0-63");
}

}  // namespace
}  // namespace tavrolin
