#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
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
constexpr bool kWide = kMaskBits == 64;

// (mask, simulated time, accepted) of a mask set.
using MaskSet = std::tuple<std::uint64_t, std::uint64_t, bool>;

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

// Four processors, default settings, the game running as process 1000
// (handle 1256). The first phase runs at 0 ms, so no poll interferes.
struct Bench {
  // `before`: what the machine is like before the program starts.
  explicit Bench(const std::function<void(fakes::FakePlatform&)>& before = {}) {
    if (before) before(fake);
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
  std::vector<MaskSet> Sets() const {
    std::vector<MaskSet> sets;
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

  fakes::FakePlatform fake;
  Controller controller{fake.platform};
  std::uint32_t pid = 0;
};

// One adjustment on the bench and what follows in the next 5 s: every mask
// set, the processors of the one beep (none: no beep), the log, the opens,
// and whether the game is kept on a final mask narrower than it may use.
struct AdjustmentCase {
  std::string name;
  std::function<void(Bench&)> run;
  std::vector<MaskSet> sets;
  std::optional<std::uint64_t> beep;
  std::string log = "";
  int opens = 1;
  bool kept = false;
};

// Both phases with NUMBER_OF_PROCESSORS at `count` (nullptr: not set), a
// selection of `items` (none: no selection) and the system's processors.
std::function<void(Bench&)> Phases(const char* count, std::vector<std::string> items = {},
                                   std::uint64_t systemMask = 0xF) {
  return [count, items, systemMask](Bench& bench) {
    if (count == nullptr) {
      bench.fake.environment.variables.erase("NUMBER_OF_PROCESSORS");
    } else {
      bench.fake.environment.variables["NUMBER_OF_PROCESSORS"] = count;
    }
    bench.fake.processes.systemMask = systemMask;
    if (!items.empty()) bench.Select(items);
    bench.BothPhases();
  };
}

std::vector<MaskSet> Spread(std::uint64_t mask) {
  return {{1, 0, true}, {mask, 1000, true}};
}

// A selection makes the final mask of its items exactly "True", whatever the
// processor count, and keeps the game on it.
AdjustmentCase Selected(const std::vector<std::string>& items, const char* count,
                        std::uint64_t mask) {
  std::string name = std::string(count) + " processors:";
  for (const std::string& item : items) name += " [" + item + "]";
  return {name, Phases(count, items), Spread(mask), mask, "", 1, true};
}

// The final mask over a processor count in a 64-bit and in a 32-bit build:
// processors past the width are left out, with a report.
AdjustmentCase Wide(const char* count, std::uint64_t mask64, bool reported64, std::uint64_t mask32,
                    bool reported32) {
  const std::uint64_t mask = kWide ? mask64 : mask32;
  const std::string report = test::FinalMaskReport(
      "1003  Processors beyond the mask width are left out", "DLL Error - 0", count, "0");
  const bool reported = kWide ? reported64 : reported32;
  return {count,       Phases(count, {}, kAll), Spread(mask), mask, reported ? report : "", 1,
          mask != kAll};
}

TEST(Adjustment, EachCaseSetsItsMasksBeepsAndReports) {
  const std::string gone = "Could Not Get process ID of SupremeCommander.exe";
  const std::string unknownCount =
      PinReport("13  Type mismatch", "DLL Error - 0", "", "1000", "1256", "0", "0") +
      test::FinalMaskReport("1002  NUMBER_OF_PROCESSORS is missing or not a number",
                            "DLL Error - 0", "0", "0");
  const std::string refused = "1001  The system refused the affinity mask";
  const std::string openFailed =
      PinReport("0  ", "DLL Error - 5", "Error in OpenProcess For the Process ID: 1000", "1000",
                "0", "0", "0");
  std::vector<std::string> past(70, "False");
  past[0] = past[31] = past[63] = past[64] = past[69] = "True";
  const std::uint64_t pastMask =
      (std::uint64_t{1} << 31) | 1U | (kWide ? std::uint64_t{1} << 63 : 0);
  const AdjustmentCase cases[] = {
      {"pinned to processor 0, the final mask one second later",
       [](Bench& bench) {
         bench.controller.pinToFirstProcessor(kGame);
         EXPECT_TRUE(bench.controller.finalMaskTimer().enabled());
         EXPECT_EQ(bench.fake.processes.openHandles, 1);  // held over the gap
         EXPECT_TRUE(bench.fake.beeper.beeps.empty());
         bench.fake.time.advance(1000);
         EXPECT_EQ(bench.controller.processorCount(), 4);
       },
       Spread(15), 15},
      Selected({"True", "False", "True", "True"}, "4", 13),
      Selected({"False", "True", "False", "True"}, "4", 10),
      Selected({"True", "true"}, "4", 1),
      Selected({"True", "TRUE", " True", "True "}, "4", 1),
      Selected({"True", "False", "True", "True"}, "2", 13),
      {"positions past the table", Phases("4", past, kAll), Spread(pastMask), pastMask,
       test::FinalMaskReport("1003  Processors beyond the mask width are left out", "DLL Error - 0",
                             "0", "0"),
       1, true},
      // A refused final mask is reported, and the game gets back what it had:
      // no beep, the rescue is no adjustment.
      {"no processor selected",
       Phases("4", {"False", "False", "False", "False"}),
       {{1, 0, true}, {0, 1000, false}, {15, 1000, true}},
       std::nullopt,
       test::FinalMaskReport(refused, "DLL Error - 87", "0", "0")},
      // In a job of processors 0-1 the rescue gives back exactly those, not
      // every processor of the system (which the job refuses as well).
      {"in a job",
       [](Bench& bench) {
         fakes::FakeProcesses::Process& game = *bench.fake.processes.find(bench.pid);
         game.job = game.mask = 0b0011;
         bench.BothPhases();
       },
       {{1, 0, true}, {15, 1000, false}, {3, 1000, true}},
       std::nullopt,
       test::FinalMaskReport(refused, "DLL Error - 87", "4", "15")},
      // In a cpuset of processor 1 the pin is refused, the final step still
      // comes on time, and the beep names what took effect.
      {"in a cpuset",
       [](Bench& bench) {
         fakes::FakeProcesses::Process& game = *bench.fake.processes.find(bench.pid);
         game.cpuset = game.mask = 0b0010;
         bench.BothPhases();
       },
       {{1, 0, false}, {15, 1000, true}},
       2,
       PinReport(refused, "DLL Error - 22", "", "1000", "1256", "4", "0") +
           test::FinalMaskReport("1006  The system left out processors that were asked for: 0,2-3",
                                 "DLL Error - 22", "4", "15")},
      // A thread with a cpuset of its own is named once, in the first report
      // that it causes; processor 0 alone is refused by both again.
      {"threads that refuse",
       [](Bench& bench) {
         bench.fake.processes.find(bench.pid)->threadCpusets = {{1003, 0b0010}, {1007, 0b0100}};
         Phases("4", {"True", "False", "False", "False"})(bench);
       },
       {{1, 0, true}, {1, 1000, true}, {15, 1000, true}},
       std::nullopt,
       PinReport(refused + " for threads 1003, 1007", "DLL Error - 22", "", "1000", "1256", "4",
                 "0") +
           test::FinalMaskReport(refused, "DLL Error - 22", "0", "1")},
      // Ending the program between the phases runs the final step at once,
      // 500 ms into the gap or waiting at the event pump inside the first.
      {"exit in the gap",
       [](Bench& bench) {
         bench.controller.pinToFirstProcessor(kGame);
         bench.fake.time.advance(500);
         EXPECT_TRUE(bench.controller.finalStepPending());
         bench.controller.exitProgram();
         EXPECT_EQ(bench.fake.environment.endedWith, 0);
       },
       {{1, 0, true}, {15, 500, true}},
       15},
      {"exit at the pump",
       [](Bench& bench) {
         bench.fake.time.post([&bench] {
           EXPECT_TRUE(bench.controller.finalStepPending());
           bench.controller.exitProgram();
         });
         bench.controller.pinToFirstProcessor(kGame);
         EXPECT_EQ(bench.fake.environment.endedWith, 0);
       },
       {{1, 0, true}, {15, 0, true}},
       15},
      {"one processor: left alone", Phases("1"), {}, std::nullopt},
      {"gone before the first phase",
       [](Bench& bench) {
         bench.fake.processes.stop(bench.pid);
         bench.BothPhases();
       },
       {},
       std::nullopt,
       PinReport("0  ", "DLL Error - 0", gone, "0", "", "0", "0"),
       0},
      {"a report after a completed adjustment shows no handle",
       [](Bench& bench) {
         bench.BothPhases();
         bench.fake.processes.stop(bench.pid);
         bench.controller.pinToFirstProcessor(kGame);
       },
       Spread(15), 15, PinReport("0  ", "DLL Error - 0", gone, "0", "", "4", "15")},
      // A process whose processors cannot be read counts as one that cannot
      // be opened: no rescue could give it back what it had.
      {"cannot be opened",
       [](Bench& bench) {
         bench.fake.processes.openError = 5;
         bench.BothPhases();
         bench.fake.processes.stop(bench.pid);  // the slot keeps the failed open
         bench.fake.processes.openError.reset();
         bench.controller.pinToFirstProcessor(kGame);
         bench.pid = bench.fake.processes.start(kGame);
         bench.fake.processes.readError = 6;
         bench.controller.pinToFirstProcessor(kGame);
       },
       {},
       std::nullopt,
       openFailed + PinReport("0  ", "DLL Error - 5", gone, "0", "0", "0", "0") +
           PinReport("0  ", "DLL Error - 6", "Error in OpenProcess For the Process ID: 1004",
                     "1004", "0", "0", "0"),
       2},
      // Without a processor count the final mask is every allowed processor.
      {"no processor count", Phases(nullptr), Spread(15), 15, unknownCount},
      {"abc processors", Phases("abc"), Spread(15), 15, unknownCount},
      {"4x processors", Phases("4x"), Spread(15), 15, unknownCount},
      Wide("31", 0x7FFFFFFF, false, 0x7FFFFFFF, false),
      Wide("32", 0xFFFFFFFF, false, 0xFFFFFFFF, false),
      Wide("33", 0x1FFFFFFFF, false, 0xFFFFFFFF, true),
      Wide("64", kAll, false, 0xFFFFFFFF, true),
      Wide("65", kAll, true, 0xFFFFFFFF, true),
      Wide("32767", kAll, true, 0xFFFFFFFF, true),
  };
  for (const AdjustmentCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bench bench;
    c.run(bench);
    bench.fake.time.advance(5000);
    EXPECT_EQ(bench.Sets(), c.sets);
    const auto& beeps = bench.fake.beeper.beeps;
    EXPECT_EQ(beeps.size(), c.beep ? 1U : 0U);
    if (c.beep && !beeps.empty()) {
      EXPECT_EQ(beeps[0].mask, *c.beep);
      EXPECT_EQ(beeps[0].pid, bench.pid);
    }
    EXPECT_EQ(bench.fake.log(), c.log);
    EXPECT_EQ(bench.fake.processes.opens, c.opens);
    EXPECT_EQ(bench.controller.keepingGameOnMask(), c.kept);
    EXPECT_EQ(bench.fake.processes.openHandles, c.kept ? 1 : 0);
    EXPECT_FALSE(bench.controller.finalStepPending());
    EXPECT_FALSE(bench.controller.finalMaskTimer().enabled());
    EXPECT_EQ(bench.controller.customErrorText(), "");
  }
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
    Bench bench([&](fakes::FakePlatform& fake) {
      fake.processes.systemMask = fake.topology.topology.online = row.online;
      fake.environment.variables["NUMBER_OF_PROCESSORS"] = row.processorCount;
      fake.topology.topology.level3Caches = {{0x3, 32 << 20}, {0xC, 96 << 20}};
      fake.files.files[fake.configPath()] =
          "[Config]\r\nInitializeDelay=30\r\nOnlineEnabled=1\r\nCPUs=" + std::string(row.cpus) +
          "\r\nGame=0\r\n";
    });
    bench.BothPhases();
    fakes::FakePlatform& fake = bench.fake;
    EXPECT_EQ(fake.processes.find(bench.pid)->mask, row.mask);
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
