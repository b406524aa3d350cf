#include <gtest/gtest.h>

#include "config/profile_text.h"
#include "config/settings.h"
#include "controller/controller.h"
#include "fake_options_window.h"
#include "fake_platform.h"
#include "ui/options_layout.h"

namespace tavrolin {
namespace {

// The options dialog on the fake platform, opened from the tray.
struct Dialog {
  Dialog() { controller.start(); }
  // The tray's "   Options".
  void open() {
    controller.openOptions();
    window = fake.windows.lastOptions;
  }
  void setConfig(const std::string& text) { fake.files.files[fake.configPath()] = text; }
  std::string config() const { return fake.files.text(fake.configPath()); }
  std::optional<std::string> stored(const std::string& key) const {
    if (!fake.files.exists(fake.configPath())) return std::nullopt;
    const std::string text = config();
    const auto value = profile_text::FindValue(text, "Config", key);
    return value ? std::optional<std::string>(*value) : std::nullopt;
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

class OptionsDialogTest : public ::testing::Test, public Dialog {};

// --- The processor boxes' layout -------------------------------------------

// The boxes a first opening makes, one per processor, ticked: columns of four
// (tops 600, 960, 1320, 1680), 1240 apart; from 13 boxes on the frame and the
// dialog follow the last column, up to eight columns.
TEST(ProcessorBoxLayout, ColumnsOfFourAndFromThirteenBoxesOnTheFrameFollows) {
  struct Row {
    int boxes, frameWidth, dialogWidth;
  };
  const Row table[] = {{1, 3735, 4305},  {4, 3735, 4305},  {12, 3735, 4305},  {13, 4960, 5465},
                       {16, 4960, 5465}, {17, 6200, 6705}, {20, 6200, 6705},  {21, 7440, 7945},
                       {25, 8680, 9185}, {28, 8680, 9185}, {29, 9920, 10425}, {32, 9920, 10425}};
  const int lefts[] = {240, 1480, 2720, 3960, 5200, 6440, 7680, 8920};
  const int tops[] = {600, 960, 1320, 1680};
  for (const Row& row : table) {
    SCOPED_TRACE(row.boxes);
    Dialog dialog;
    dialog.fake.environment.variables["NUMBER_OF_PROCESSORS"] = std::to_string(row.boxes);
    dialog.open();
    const auto& boxes = dialog.window->boxes;
    ASSERT_EQ(static_cast<int>(boxes.size()), row.boxes);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_EQ(boxes[i].placement.caption, "CPU " + std::to_string(i));
      EXPECT_EQ(boxes[i].placement.left, lefts[i / 4]);
      EXPECT_EQ(boxes[i].placement.top, tops[i % 4]);
      EXPECT_EQ(boxes[i].placement.width, 855);
      EXPECT_EQ(boxes[i].placement.height, 195);
      EXPECT_TRUE(boxes[i].checked);
    }
    EXPECT_EQ(dialog.window->frameWidth, row.frameWidth);
    EXPECT_EQ(dialog.window->dialogWidth, row.dialogWidth);
    EXPECT_EQ(dialog.window->frameHeight, 2055);
    EXPECT_EQ(dialog.window->dialogHeight, 4005);
  }
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

// Its boxes are in ProcessorBoxLayout.
TEST_F(OptionsDialogTest, FirstOpeningShowsTheDialogAndFillsTheLists) {
  open();
  EXPECT_TRUE(window->visible());
  EXPECT_EQ(window->games,
            (std::vector<std::string>{"SupremeCommander.exe", "ForgedAlliance.exe"}));
  EXPECT_EQ(window->delays, (std::vector<std::string>{"20", "30", "60"}));
  EXPECT_TRUE(controller.processorSelection().count() == 0);
  EXPECT_EQ(fake.log(), "");
}

// A save writes what the controls show, whatever the file held, in this
// order (into a file deleted meanwhile, which is made anew), and puts it in
// force; picking a game puts it in force at once.
TEST_F(OptionsDialogTest, SavingWritesTheKeysInOrderAndUpdatesTheController) {
  setConfig("[Config]\r\nInitializeDelay=45\r\nOnlineEnabled=7\r\nGame=5\r\nCPUs=All\r\n");
  open();
  controller.setPolling(false);
  window->delay = 0;  // "20"
  window->online = 1;
  window->userPicksGame(1);
  EXPECT_EQ(controller.watchedImage(), "ForgedAlliance.exe");
  window->setProcessorBoxChecked(2, false);
  window->setProcessorBoxChecked(3, false);
  fake.files.files.erase(fake.configPath());
  window->userSaves();

  EXPECT_EQ(config(),
            "[Config]\r\nOnlineEnabled=1\r\nGame=1\r\nInitializeDelay=20\r\nCPUs=0,3\r\n");
  EXPECT_TRUE(controller.onlineAllowed());
  EXPECT_TRUE(controller.pollTimer().enabled());
  EXPECT_EQ(controller.delayTimer().interval(), 20000U);
  EXPECT_EQ(selection(), (std::vector<std::string>{"True", "False", "False", "True"}));
  EXPECT_FALSE(window->visible());
  EXPECT_TRUE(window->warnings.empty());
  // Saving again keeps the items in box order.
  window->userSaves();
  EXPECT_EQ(selection(), (std::vector<std::string>{"True", "False", "False", "True"}));
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

// Opened again while shown, the dialog refills its lists from the file and
// leaves the boxes alone; hidden, it keeps its boxes; closed, it drops them,
// and loaded anew its boxes show the selection in force, which an untouched
// save keeps, also with fewer boxes than the selection has items.
TEST_F(OptionsDialogTest, OpeningAgainRefillsTheListsAndReloadingShowsTheSelectionInForce) {
  open();
  window->setProcessorBoxChecked(2, false);
  window->userPicksGame(1);
  window->online = 0;
  open();
  EXPECT_EQ(window->creates, 1);
  EXPECT_FALSE(window->processorBoxChecked(2));
  EXPECT_EQ(window->game, 0);
  EXPECT_EQ(controller.watchedImage(), "SupremeCommander.exe");
  EXPECT_EQ(window->online, 1);
  EXPECT_EQ(stored("Game"), "0");  // picking alone wrote nothing
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
  EXPECT_TRUE(window->processorBoxChecked(1));
  EXPECT_FALSE(window->processorBoxChecked(2));
  window->userSaves();
  EXPECT_EQ(selection(), (std::vector<std::string>{"True", "False", "True", "True"}));

  window->destroy();
  fake.environment.variables["NUMBER_OF_PROCESSORS"] = "3";
  open();
  ASSERT_EQ(window->boxes.size(), 3U);
  EXPECT_FALSE(window->processorBoxChecked(2));
  EXPECT_TRUE(window->processorBoxChecked(3));
  window->userSaves();
  EXPECT_EQ(selection(), (std::vector<std::string>{"True", "False", "True", "True"}));
}

// What an opening shows and puts in force, and what a save that touches
// nothing writes. Values the controls cannot show survive it and do not stop
// the program; an empty or missing delay or online flag is left as it is, an
// empty game is written as shown (kept, startup would repair it at every
// start). The file is taken as startup takes it: a missing one is written
// first; when none can be made, or what stands there is refused (a folder, a
// hidden file), the defaults apply and nothing is written.
TEST_F(OptionsDialogTest, StoredValuesAsShownAndAsAnUntouchedSaveWritesThem) {
  // What stands by the file's name besides its text: a hidden file cannot be
  // replaced (nor created, when there is none); a folder holds no settings.
  enum Entry { kFile, kHidden, kFolder };
  struct Row {
    const char* name;
    // The file's InitializeDelay|OnlineEnabled|Game ("-": no such line);
    // nullptr: no file.
    const char* file;
    Entry entry;
    bool onlineBefore;
    // Shown: the delay list's last entry and selection, the online box, the game.
    const char* lastDelay;
    int delay, online, game;
    // In force after the opening.
    std::uint32_t interval;
    bool onlineAllowed;
    const char* image;
    // After the save: the three keys ("-" none), the online flag; the values
    // reported ("Key=Value", ";" between), and the file's report, if any.
    const char* saved;
    bool onlineAfterSave;
    const char* valuesReported;
    const char* fileReport;
  };
  const Row table[] = {
      {"the file's values", "60|0|1", kFile, true, "60", 2, 0, 1, 60000, false,
       "ForgedAlliance.exe", "60|0|1", false, "", ""},
      {"hand-edited, flag on", "45|7|5", kFile, true, "45", 3, 2, 0, 45000, true,
       "SupremeCommander.exe", "45|7|5", false, "", ""},
      {"7 leaves the flag off", "45|7|5", kFile, false, "45", 3, 2, 0, 45000, false,
       "SupremeCommander.exe", "45|7|5", false, "", ""},
      {"greyed: 2", "30|2|0", kFile, true, "60", 1, 2, 0, 30000, true, "SupremeCommander.exe",
       "30|2|0", false, "", ""},
      {"not numbers", "soon|yes|FA", kFile, false, "soon", 3, 2, 0, 30000, false,
       "SupremeCommander.exe", "soon|yes|FA", false,
       "InitializeDelay=soon;OnlineEnabled=yes;Game=FA", ""},
      {"no wait", "0|1|0", kFile, false, "0", 3, 1, 0, 0, true, "SupremeCommander.exe", "0|1|0",
       true, "", ""},
      {"empty delay, online and game", "||", kFile, true, "60", 1, 0, 0, 30000, true,
       "SupremeCommander.exe", "||0", false, "InitializeDelay=;OnlineEnabled=", ""},
      {"missing delay and online", "-|-|1", kFile, false, "60", 1, 0, 1, 30000, false,
       "ForgedAlliance.exe", "-|-|1", false, "InitializeDelay=;OnlineEnabled=", ""},
      {"no file", nullptr, kFile, false, "60", 1, 1, 0, 30000, true, "SupremeCommander.exe",
       "30|1|0", true, "", ""},
      {"no file, none can be made", nullptr, kHidden, false, "60", 1, 1, 0, 30000, true,
       "SupremeCommander.exe", "-|-|-", true, "", "75  "},
      {"a folder by that name", nullptr, kFolder, false, "60", 1, 1, 0, 30000, true,
       "SupremeCommander.exe", "-|-|-", true, "", "1008  "},
      {"hidden", "60|0|1", kHidden, false, "60", 1, 1, 0, 30000, true, "SupremeCommander.exe",
       "60|0|1", true, "", "1008  "},
  };
  const auto split = [](std::string text, char separator) {
    std::vector<std::string> parts;
    for (std::size_t at; (at = text.find(separator)) != std::string::npos; text.erase(0, at + 1)) {
      parts.push_back(text.substr(0, at));
    }
    parts.push_back(text);
    return parts;
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.name);
    fake.files.files.clear();
    fake.files.readOnly.clear();
    fake.files.hidden.clear();
    fake.files.directories.clear();
    if (row.file != nullptr) {
      const std::vector<std::string> values = split(row.file, '|');
      std::string text = "[Config]\r\n";
      const char* keys[] = {"InitializeDelay", "OnlineEnabled", "Game"};
      for (std::size_t i = 0; i < 3; ++i) {
        if (values[i] != "-") text += keys[i] + ("=" + values[i]) + "\r\n";
      }
      setConfig(text + "CPUs=All\r\n");
    }
    if (row.entry == kFolder) fake.files.directories.insert(fake.configPath());
    if (row.entry == kHidden) {
      // Windows' profile functions read a hidden file; it is not replaced.
      fake.files.hidden.insert(fake.configPath());
      fake.files.readOnly.insert(fake.configPath());
    }
    controller.setOnlineAllowed(row.onlineBefore);
    open();
    if (row.file == nullptr && row.entry == kFile) {
      ASSERT_TRUE(fake.files.exists(fake.configPath()));
      EXPECT_EQ(config(), kDefaultConfig);  // written before it is read
    }

    EXPECT_EQ(window->delays.back(), row.lastDelay);
    EXPECT_EQ(window->delay, row.delay);
    EXPECT_EQ(window->online, row.online);
    EXPECT_EQ(window->game, row.game);
    EXPECT_EQ(controller.delayTimer().interval(), row.interval);
    EXPECT_EQ(controller.onlineAllowed(), row.onlineAllowed);
    EXPECT_EQ(controller.watchedImage(), row.image);

    window->userSaves();
    EXPECT_EQ(stored("InitializeDelay").value_or("-") + "|" +
                  stored("OnlineEnabled").value_or("-") + "|" + stored("Game").value_or("-"),
              row.saved);
    EXPECT_EQ(controller.onlineAllowed(), row.onlineAfterSave);
    EXPECT_EQ(controller.delayTimer().interval(), row.interval);
    const std::string log = fake.log();
    std::vector<std::string> expected;
    if (*row.valuesReported != '\0') {
      for (const std::string& value : split(row.valuesReported, ';')) {
        const std::size_t equals = value.find('=');
        expected.push_back("Variables:Key =" + value.substr(0, equals) +
                           "\r\nVariables:Value =" + value.substr(equals + 1) + "\r\n");
      }
    }
    if (*row.fileReport != '\0')
      expected.push_back("Error occurred in mnuOptions_Click\r\n" + std::string(row.fileReport));
    for (const std::string& text : expected) EXPECT_NE(log.find(text), std::string::npos) << text;
    EXPECT_TRUE(!expected.empty() || log.empty()) << log;
  }
}

// config.ini's CPUs shows in the boxes. A save that leaves them as shown
// leaves the file's bytes as they were (a preset stays a preset, a file
// without the key gets none); a changed box writes the ticked list, or All
// for every box, and the choice outlives a restart.
TEST_F(OptionsDialogTest, TheCpusValueInForceIsShownAndOnlyAChangedBoxRewritesIt) {
  fake.topology.topology.level3Caches = {{0x3, 96 << 20}, {0xC, 32 << 20}};
  std::unique_ptr<Controller> restarted;
  const auto restartAndShow = [&] {
    restarted = std::make_unique<Controller>(fake.platform);
    restarted->start();
    restarted->openOptions();
    window = fake.windows.lastOptions;
    std::string shown;
    for (int box = 1; box <= 4; ++box) shown += window->processorBoxChecked(box) ? 'x' : '-';
    return shown;
  };
  const std::string noKey = "[Config]\r\nInitializeDelay=30\r\nOnlineEnabled=1\r\nGame=0\r\n";
  const std::string preset = noKey + "CPUs=LargeCache\r\n";
  for (const auto& [file, shown] : {std::pair{std::string(kDefaultConfig), "xxxx"},
                                    std::pair{noKey, "xxxx"}, std::pair{preset, "xx--"}}) {
    setConfig(file);
    EXPECT_EQ(restartAndShow(), shown) << file;
    window->userSaves();
    EXPECT_EQ(config(), file);
  }
  window->setProcessorBoxChecked(3, true);
  window->userSaves();
  EXPECT_EQ(stored("CPUs"), "0-2");
  EXPECT_EQ(restarted->processorChoice().presets, "");  // the boxes' list, no preset
  EXPECT_EQ(restartAndShow(), "xxx-");
  window->setProcessorBoxChecked(4, true);
  window->userSaves();
  EXPECT_EQ(stored("CPUs"), "All");
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
