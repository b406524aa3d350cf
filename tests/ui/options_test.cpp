#include <gtest/gtest.h>

#include "config/profile_text.h"
#include "config/settings.h"
#include "controller/controller.h"
#include "fake_options_window.h"
#include "fake_platform.h"
#include "ui/options_layout.h"

namespace tavrolin {
namespace {

// --- The processor boxes' layout -------------------------------------------

TEST(ProcessorBoxLayout, FourBoxesStandInOneColumnAndTheDesignSizesStay) {
  const OptionsLayout layout = ProcessorBoxLayout(4);
  ASSERT_EQ(layout.boxes.size(), 4U);
  const int tops[] = {600, 960, 1320, 1680};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(layout.boxes[i].left, 240);
    EXPECT_EQ(layout.boxes[i].top, tops[i]);
    EXPECT_EQ(layout.boxes[i].caption, "CPU " + std::to_string(i));
    EXPECT_EQ(layout.boxes[i].width, 855);
    EXPECT_EQ(layout.boxes[i].height, 195);
  }
  EXPECT_EQ(layout.frameWidth, 3735);
  EXPECT_EQ(layout.dialogOuterWidth, 4305);
  EXPECT_EQ(layout.frameHeight, 2055);
  EXPECT_EQ(layout.dialogClientHeight, 4005);
}

TEST(ProcessorBoxLayout, FrameAndDialogFollowTheLastColumnFromThirteenBoxesOn) {
  struct Row {
    int boxes, lastLeft, frameWidth, dialogWidth;
  };
  const Row table[] = {{1, 240, 3735, 4305},    {12, 2720, 3735, 4305}, {13, 3960, 4960, 5465},
                       {16, 3960, 4960, 5465},  {17, 5200, 6200, 6705}, {20, 5200, 6200, 6705},
                       {21, 6440, 7440, 7945},  {25, 7680, 8680, 9185}, {28, 7680, 8680, 9185},
                       {29, 8920, 9920, 10425}, {32, 8920, 9920, 10425}};
  for (const Row& row : table) {
    const OptionsLayout layout = ProcessorBoxLayout(row.boxes);
    SCOPED_TRACE(row.boxes);
    EXPECT_EQ(layout.boxes.back().left, row.lastLeft);
    EXPECT_EQ(layout.frameWidth, row.frameWidth);
    EXPECT_EQ(layout.dialogOuterWidth, row.dialogWidth);
    EXPECT_EQ(layout.frameHeight, 2055);
  }
  const OptionsLayout sixteen = ProcessorBoxLayout(16);
  EXPECT_EQ(sixteen.boxes[4].left, 1480);
  EXPECT_EQ(sixteen.boxes[4].top, 600);
  EXPECT_EQ(sixteen.boxes[15].top, 1680);
}

// More than 32 boxes would fall below the frame; every box must stay inside
// the frame, apart from its neighbours, and the dialog must grow to hold it.
TEST(ProcessorBoxLayout, BeyondThirtyTwoEveryBoxStaysVisibleInsideTheFrame) {
  for (const int count : {33, 40, 48, 63, 64}) {
    SCOPED_TRACE(count);
    const OptionsLayout layout = ProcessorBoxLayout(count);
    ASSERT_EQ(static_cast<int>(layout.boxes.size()), count);
    for (std::size_t i = 0; i < layout.boxes.size(); ++i) {
      const BoxPlacement& box = layout.boxes[i];
      EXPECT_EQ(box.caption, "CPU " + std::to_string(i));
      EXPECT_LE(box.left + box.width, layout.frameWidth);
      EXPECT_LE(box.top + box.height, layout.frameHeight - 120);
      for (std::size_t j = 0; j < i; ++j) {
        const BoxPlacement& other = layout.boxes[j];
        const bool apart = box.left >= other.left + other.width ||
                           other.left >= box.left + box.width ||
                           box.top >= other.top + other.height || other.top >= box.top + box.height;
        EXPECT_TRUE(apart) << "boxes " << i << " and " << j << " overlap";
      }
    }
    EXPECT_EQ(layout.dialogClientHeight - layout.frameHeight, 4005 - 2055);
    EXPECT_EQ(layout.dialogOuterWidth, 10425);
  }
}

// --- The dialog --------------------------------------------------------------

class OptionsDialogTest : public ::testing::Test {
 protected:
  OptionsDialogTest() {
    fake.environment.variables["NUMBER_OF_PROCESSORS"] = "4";
    controller.start();
  }

  // The tray's "   Options".
  void open() {
    controller.openOptions();
    window = fake.windows.lastOptions;
  }

  void setConfig(const std::string& text) { fake.files.files[fake.configPath()] = text; }
  std::string config() const { return fake.files.text(fake.configPath()); }
  std::optional<std::string> stored(const std::string& key) {
    const std::string text = config();
    const auto value = profile_text::FindValue(text, "Config", key);
    if (!value) return std::nullopt;
    return std::string(*value);
  }
  std::vector<std::string> selection() const {
    std::vector<std::string> items;
    for (std::size_t i = 1; i <= controller.processorSelection().count(); ++i)
      items.push_back(controller.processorSelection().item(i));
    return items;
  }

  fakes::FakePlatform fake;
  Controller controller{fake.platform};
  fakes::FakeOptionsWindow* window = nullptr;
};

TEST_F(OptionsDialogTest, FirstOpeningBuildsCheckedBoxesAndShowsTheFilesValues) {
  setConfig("[Config]\r\nInitializeDelay=60\r\nOnlineEnabled=0\r\nGame=1\r\n");
  controller.setOnlineAllowed(true);
  open();

  EXPECT_TRUE(window->visible());
  ASSERT_EQ(window->boxes.size(), 4U);
  for (const auto& box : window->boxes) {
    EXPECT_TRUE(box.checked);
    EXPECT_EQ(box.placement.left, 240);
  }
  EXPECT_EQ(window->boxes[3].placement.caption, "CPU 3");
  EXPECT_EQ(window->frameWidth, 3735);
  EXPECT_EQ(window->dialogWidth, 4305);
  EXPECT_EQ(window->games,
            (std::vector<std::string>{"SupremeCommander.exe", "ForgedAlliance.exe"}));
  EXPECT_EQ(window->delays, (std::vector<std::string>{"20", "30", "60"}));
  EXPECT_EQ(window->delay, 2);
  EXPECT_EQ(window->online, 0);
  EXPECT_EQ(window->game, 1);
  // The opening acts at once, before any save.
  EXPECT_EQ(controller.watchedImage(), "ForgedAlliance.exe");
  EXPECT_EQ(controller.delayTimer().interval(), 60000U);
  EXPECT_FALSE(controller.onlineAllowed());
  EXPECT_TRUE(controller.processorSelection().count() == 0);
  EXPECT_EQ(fake.log(), "");
}

TEST_F(OptionsDialogTest, SavingWritesTheThreeKeysInOrderAndUpdatesTheController) {
  open();
  fake.profile.writtenKeys.clear();
  controller.setPolling(false);
  window->delay = 0;  // "20"
  window->online = 1;
  window->userPicksGame(1);
  EXPECT_EQ(controller.watchedImage(), "ForgedAlliance.exe");  // at once, before saving
  window->setProcessorBoxChecked(2, false);
  window->setProcessorBoxChecked(3, false);
  window->userSaves();

  EXPECT_EQ(fake.profile.writtenKeys,
            (std::vector<std::string>{"OnlineEnabled", "Game", "InitializeDelay"}));
  EXPECT_EQ(stored("OnlineEnabled"), "1");
  EXPECT_EQ(stored("Game"), "1");
  EXPECT_EQ(stored("InitializeDelay"), "20");
  EXPECT_TRUE(controller.onlineAllowed());
  EXPECT_TRUE(controller.pollTimer().enabled());
  EXPECT_EQ(controller.delayTimer().interval(), 20000U);
  EXPECT_EQ(selection(), (std::vector<std::string>{"True", "False", "False", "True"}));
  EXPECT_FALSE(window->visible());
  EXPECT_TRUE(window->warnings.empty());
  // Saving again keeps the items in box order.
  window->userSaves();
  EXPECT_EQ(selection(), (std::vector<std::string>{"True", "False", "False", "True"}));
  // The rest of the file is untouched.
  EXPECT_NE(config().find("CPUs=All"), std::string::npos);
}

TEST_F(OptionsDialogTest, SavingWithNoBoxTickedTicksTheLastOneAndWarnsBeforeHiding) {
  open();
  for (int box = 1; box <= 4; ++box) window->setProcessorBoxChecked(box, false);
  std::vector<std::string> seenAtWarning;
  bool visibleAtWarning = false;
  window->onWarning = [&] {
    seenAtWarning = selection();
    visibleAtWarning = window->visible();
  };
  window->userSaves();

  ASSERT_EQ(window->warnings.size(), 1U);
  EXPECT_EQ(window->warnings[0],
            "Tavrolin|You should use atleast one processor!\r\n\r\nLast processor enabled.");
  EXPECT_EQ(seenAtWarning, (std::vector<std::string>{"False", "False", "False", "True"}));
  EXPECT_TRUE(visibleAtWarning);
  EXPECT_TRUE(window->processorBoxChecked(4));
  EXPECT_FALSE(window->visible());
}

TEST_F(OptionsDialogTest, OpeningAgainRefillsFromTheFileAndLeavesTheBoxesAlone) {
  setConfig("[Config]\r\nInitializeDelay=30\r\nOnlineEnabled=1\r\nGame=0\r\n");
  open();
  window->setProcessorBoxChecked(1, false);
  window->userPicksGame(1);
  window->online = 0;
  open();  // still shown

  EXPECT_EQ(window->creates, 1);
  EXPECT_EQ(window->boxes.size(), 4U);
  EXPECT_FALSE(window->processorBoxChecked(1));
  EXPECT_EQ(window->game, 0);
  EXPECT_EQ(controller.watchedImage(), "SupremeCommander.exe");
  EXPECT_EQ(window->online, 1);
  EXPECT_EQ(stored("Game"), "0");  // picking alone wrote nothing
}

TEST_F(OptionsDialogTest, HidingKeepsTheBoxesAndUnloadingDropsThem) {
  open();
  window->setProcessorBoxChecked(2, false);
  window->userSaves();
  open();
  EXPECT_FALSE(window->processorBoxChecked(2));

  controller.setPolling(false);
  window->destroy();  // closed: the dialog's unload runs, the hidden auto-start box is ticked
  EXPECT_FALSE(window->exists());
  EXPECT_TRUE(controller.pollTimer().enabled());
  open();
  EXPECT_EQ(window->creates, 2);
  ASSERT_EQ(window->boxes.size(), 4U);
  EXPECT_TRUE(window->processorBoxChecked(2));
  // The selection saved before is kept until the next save.
  EXPECT_EQ(selection(), (std::vector<std::string>{"True", "False", "True", "True"}));
}

// Values the controls cannot show must survive an opening and a save that
// touch nothing, and must not stop the program.
TEST_F(OptionsDialogTest, HandEditedValuesSurviveAnUntouchedSave) {
  setConfig("[Config]\r\nInitializeDelay=45\r\nOnlineEnabled=7\r\nGame=5\r\nCPUs=All\r\n");
  controller.setOnlineAllowed(true);
  open();

  EXPECT_EQ(window->delays.back(), "45");
  EXPECT_EQ(window->delay, 3);
  EXPECT_EQ(controller.delayTimer().interval(), 45000U);
  EXPECT_EQ(window->online, 2);
  EXPECT_TRUE(controller.onlineAllowed());  // 7 is neither 0 nor 1
  EXPECT_EQ(window->game, 0);
  EXPECT_EQ(controller.watchedImage(), "SupremeCommander.exe");

  window->userSaves();
  EXPECT_EQ(stored("InitializeDelay"), "45");
  EXPECT_EQ(stored("OnlineEnabled"), "7");
  EXPECT_EQ(stored("Game"), "5");
  EXPECT_EQ(controller.delayTimer().interval(), 45000U);
  EXPECT_EQ(fake.log(), "");

  // Touching a control writes what it shows.
  open();
  window->online = 1;
  window->userPicksGame(1);
  window->userSaves();
  EXPECT_EQ(stored("OnlineEnabled"), "1");
  EXPECT_EQ(stored("Game"), "1");
}

TEST_F(OptionsDialogTest, ValuesThatAreNotNumbersAreReportedAndKeptInTheFile) {
  setConfig("[Config]\r\nInitializeDelay=soon\r\nOnlineEnabled=yes\r\nGame=FA\r\n");
  open();
  EXPECT_EQ(controller.delayTimer().interval(), 30000U);
  EXPECT_EQ(window->delays.back(), "soon");
  const std::string log = fake.log();
  EXPECT_NE(log.find("Variables:Key =InitializeDelay\r\nVariables:Value =soon\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("Variables:Key =OnlineEnabled\r\nVariables:Value =yes\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("Variables:Key =Game\r\nVariables:Value =FA\r\n"), std::string::npos);
  window->userSaves();
  EXPECT_EQ(stored("InitializeDelay"), "soon");
  EXPECT_EQ(stored("OnlineEnabled"), "yes");
  EXPECT_EQ(stored("Game"), "FA");
  EXPECT_EQ(controller.delayTimer().interval(), 30000U);
}

TEST_F(OptionsDialogTest, AGreyedOnlineBoxIsSavedAsTwoAndDisallowsOnlinePlay) {
  setConfig("[Config]\r\nInitializeDelay=30\r\nOnlineEnabled=2\r\nGame=0\r\n");
  controller.setOnlineAllowed(true);
  open();
  EXPECT_EQ(window->online, 2);
  window->userSaves();
  EXPECT_EQ(stored("OnlineEnabled"), "2");
  EXPECT_FALSE(controller.onlineAllowed());
}

TEST_F(OptionsDialogTest, ADeletedFileIsCreatedWithTheThreeKeysInOrder) {
  open();
  fake.files.files.erase(fake.configPath());
  window->delay = 1;
  window->userSaves();
  EXPECT_EQ(config(), "[Config]\r\nOnlineEnabled=1\r\nGame=0\r\nInitializeDelay=30\r\n");
}

TEST_F(OptionsDialogTest, AReadOnlyFileChangesTheRunningProgramButNotTheFile) {
  open();
  const std::string before = config();
  fake.files.readOnly.insert(fake.configPath());
  window->delay = 2;
  window->online = 0;
  window->userSaves();
  EXPECT_EQ(config(), before);
  EXPECT_EQ(controller.delayTimer().interval(), 60000U);
  EXPECT_FALSE(controller.onlineAllowed());
}

TEST_F(OptionsDialogTest, AnUnreadableProcessorCountGivesNoBoxesAndAllProcessors) {
  fake.environment.variables["NUMBER_OF_PROCESSORS"] = "many";
  open();
  EXPECT_TRUE(window->boxes.empty());
  EXPECT_NE(fake.log().find("Error occurred in GetCores\r\n13  Type mismatch\r\n"),
            std::string::npos);
  EXPECT_NE(
      fake.log().find("Variables:numproc =many\r\nVariables:chkArray =1\r\nVariables:iLoop =0\r\n"),
      std::string::npos);
  window->userSaves();
  EXPECT_EQ(controller.processorSelection().count(), 0U);
  EXPECT_TRUE(window->warnings.empty());
}

TEST_F(OptionsDialogTest, ABoxThatCannotBeMadeIsReportedAndTheOthersFollow) {
  fake.windows.failBox = 2;
  open();
  EXPECT_EQ(window->boxes.size(), 3U);
  EXPECT_NE(fake.log().find("Error occurred in GetCores"), std::string::npos);
  EXPECT_NE(fake.log().find("Variables:iLoop =2\r\n"), std::string::npos);
}

TEST_F(OptionsDialogTest, ProcessorsBeyondTheMaskWidthGetNoBox) {
  fake.environment.variables["NUMBER_OF_PROCESSORS"] = std::to_string(kMaskBits + 1);
  open();
  EXPECT_EQ(window->boxes.size(), kMaskBits);
  EXPECT_NE(fake.log().find("Processors beyond the mask width are left out"), std::string::npos);
  // Every box sits inside the frame the dialog was given.
  for (const auto& box : window->boxes) {
    EXPECT_LE(box.placement.top + box.placement.height, window->frameHeight);
  }
}

TEST_F(OptionsDialogTest, ASelectionSavedDuringTheDelayIsUsedByTheFinalMask) {
  const std::uint32_t game = fake.processes.start("SupremeCommander.exe");
  setConfig("[Config]\r\nInitializeDelay=20\r\nOnlineEnabled=1\r\nGame=0\r\n");
  open();
  window->setProcessorBoxChecked(1, false);
  window->setProcessorBoxChecked(3, false);
  window->userSaves();

  fake.time.advance(10000);  // the poll sees the game
  fake.time.advance(20000);  // the delay ends: pinned
  fake.time.advance(1000);   // the final mask
  ASSERT_EQ(fake.beeper.beeps.size(), 1U);
  EXPECT_EQ(fake.processes.find(game)->mask, 0b1010U);
}

TEST_F(OptionsDialogTest, ExitWhileTheDialogIsOpenRunsItsUnloadFirst) {
  open();
  window->autoStart = false;  // so that the dialog's unload is seen to run
  controller.exitProgram();
  EXPECT_FALSE(window->exists());
  EXPECT_FALSE(controller.pollTimer().enabled());
  EXPECT_EQ(fake.window.unloads, 1);
  EXPECT_FALSE(fake.window.iconShown);
  EXPECT_EQ(fake.environment.endedWith, 0);
}

TEST_F(OptionsDialogTest, InfoShowsTheInfoWindowAndTouchesNothingElse) {
  const std::string before = config();
  controller.openInfo();
  controller.openInfo();
  EXPECT_EQ(fake.windows.infoShown, 2);
  EXPECT_EQ(config(), before);
  EXPECT_EQ(controller.delayTimer().interval(), 30000U);
}

TEST_F(OptionsDialogTest, WithoutAnOptionsWindowTheCommandFailsAndIsReported) {
  fake.windows.noOptionsWindow = true;
  GuardEvent(controller.log(), "mnuOptions_Click", [&] { controller.openOptions(); });
  EXPECT_NE(fake.log().find("Error occurred in mnuOptions_Click\r\n380  Invalid property value"),
            std::string::npos);
}

}  // namespace
}  // namespace tavrolin
