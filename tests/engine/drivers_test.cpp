// The driver step: common folders, the board table's rules, the video card.
#include "engine/board_table.h"
#include "engine/redistribution.h"
#include "tests/engine/engine_fixture.h"

namespace vostrel::testing {
namespace {

const std::string kDll = "Talvor Imaging/Vok/dll/";
const std::string kDrivers = "Talvor Imaging/Drivers/";

KitSelection WithBoards(std::initializer_list<int> rows) {
  KitSelection selection = DefaultSelection();
  for (int row : rows) selection.boards[static_cast<std::size_t>(row - 1)] = true;
  return selection;
}

class DriversTest : public EngineTest {
 protected:
  std::vector<std::string> Libraries() const {
    std::vector<std::string> present;
    for (const std::string& library : kBoardLibraries) {
      if (InKit(kDll + library)) present.push_back(library);
    }
    return present;
  }
  std::vector<std::string> DriverStatuses() const {
    auto first = std::find(feedback.statuses.begin(), feedback.statuses.end(),
                           "Copying Talvor Drivers Files...");
    return std::vector<std::string>(first, feedback.statuses.end());
  }
};

TEST_F(DriversTest, DefaultKitHasCommonFoldersVideoCardAndNoBoardLibrary) {
  Run(DefaultSelection());
  for (const char* common : {"DMA", "Host", "TalvorSerial", "TalvorAux", "win2000", "PELUX"}) {
    EXPECT_TRUE(InKit(kDrivers + common + "/x86/driver.sys")) << common;
  }
  EXPECT_TRUE(InKit(kDrivers + "Utilities/install.exe"));
  EXPECT_FALSE(InKit(kDrivers + "Utilities/Legacy"));
  EXPECT_TRUE(Libraries().empty());
  EXPECT_TRUE(InKit(kDll + "vokcore.dll"));
  for (const BoardDriverRow& board : kBoardDrivers) EXPECT_FALSE(InKit(kDrivers + board.label));
  EXPECT_FALSE(InKit("Jurano"));
  EXPECT_EQ(DriverStatuses(), (std::vector<std::string>{"Copying Talvor Drivers Files...",
                                                        "Copying Talvor PELUX Drivers...",
                                                        "Redistribution Complete"}));
}

TEST_F(DriversTest, ArduneBringsThePellamDriversWithoutTheirConfiguration) {
  Run(WithBoards({5}));
  EXPECT_EQ(DriverStatuses(),
            (std::vector<std::string>{
                "Copying Talvor Drivers Files...", "Copying Talvor Pellam Drivers...",
                "Copying Talvor Ardune Drivers...", "Copying Talvor PELUX Drivers...",
                "Redistribution Complete"}));
  EXPECT_TRUE(InKit(kDrivers + "Pellam/board.inf"));
  EXPECT_TRUE(InKit(kDrivers + "Ardune/x86/board.sys"));
  EXPECT_FALSE(InKit(kDrivers + "Pellam/Pellam.cfg"));
  EXPECT_EQ(Libraries(), (std::vector<std::string>{"vokpellam.dll", "vokardune.dll"}));
}

TEST_F(DriversTest, PellamAloneKeepsItsConfigurationAndDropsArdune) {
  Run(WithBoards({1}));
  EXPECT_EQ(Kit(kDrivers + "Pellam/Pellam.cfg"), "Talvor Imaging/Drivers/Pellam/Pellam.cfg");
  EXPECT_EQ(Libraries(), (std::vector<std::string>{"vokpellam.dll"}));
}

TEST_F(DriversTest, PellamAndArduneCopyPellamOnceAndStillDropTheConfiguration) {
  Run(WithBoards({1, 5}));
  EXPECT_EQ(std::count(feedback.statuses.begin(), feedback.statuses.end(),
                       "Copying Talvor Pellam Drivers..."),
            1);
  EXPECT_FALSE(InKit(kDrivers + "Pellam/Pellam.cfg"));
}

TEST_F(DriversTest, JuranoBringsItsRuntimeRightAfterItsDrivers) {
  Run(WithBoards({10}));
  auto statuses = DriverStatuses();
  auto jurano = std::find(statuses.begin(), statuses.end(), "Copying Talvor Jurano Drivers...");
  ASSERT_NE(jurano, statuses.end());
  EXPECT_EQ(*(jurano + 1), "Copying Talvor Jurano Runtime Files...");
  EXPECT_TRUE(InKit("Jurano/runtime/bin/jurano.exe"));
  EXPECT_FALSE(InKit("Jurano/docs"));
  EXPECT_EQ(Libraries(), (std::vector<std::string>{"vokjurano.dll", "vokjuranox.dll"}));
}

TEST_F(DriversTest, AllBoardsKeepEveryLibraryAndShowFourteenTexts) {
  KitSelection selection = DefaultSelection();
  selection.boards.fill(true);
  Run(selection);
  EXPECT_EQ(DriverStatuses().size(), 1u + 14u + 1u);
  EXPECT_EQ(Libraries(), kBoardLibraries);
  EXPECT_FALSE(InKit(kDrivers + "Pellam/Pellam.cfg"));
  // Rows are taken in row order, not in the order of the control ids.
  std::vector<std::string> expected = {"Copying Talvor Drivers Files..."};
  for (const BoardDriverRow& board : kBoardDrivers) {
    expected.push_back(board.statusText);
    if (board.row == 10) expected.push_back("Copying Talvor Jurano Runtime Files...");
  }
  expected.push_back("Copying Talvor PELUX Drivers...");
  expected.push_back("Redistribution Complete");
  EXPECT_EQ(DriverStatuses(), expected);
}

TEST_F(DriversTest, NoVideoCardMeansNoPeluxFolder) {
  KitSelection selection = DefaultSelection();
  selection.videoCard = false;
  Run(selection);
  EXPECT_FALSE(InKit(kDrivers + "PELUX"));
}

TEST_F(DriversTest, ReadOnlyBoardLibrariesFromACdAreStillRemoved) {
  BuildMedium(tree);
  for (const std::string& library : kBoardLibraries) {
    tree.MakeReadOnly("medium/Talvor Imaging/Vok/Dll/" + library);
  }
  tree.MakeReadOnly("medium/Talvor Imaging/Drivers/Pellam/Pellam.cfg");
  tree.MakeReadOnly("medium/Talvor Imaging/Vok/Dll/vokcore.dll");
  Run(WithBoards({5}));
  EXPECT_EQ(Libraries(), (std::vector<std::string>{"vokpellam.dll", "vokardune.dll"}));
  EXPECT_FALSE(InKit(kDrivers + "Pellam/Pellam.cfg"));
  EXPECT_TRUE(tree.IsReadOnly("kit/" + kDll + "vokcore.dll"));  // only those files are touched
  EXPECT_TRUE(tree.IsReadOnly("kit/" + kDll + "vokardune.dll"));
  EXPECT_TRUE(tree.Exists("medium/Talvor Imaging/Vok/Dll/vokharrik.dll"));
}

TEST_F(DriversTest, RerunWithFewerBoardsKeepsTheFoldersOfTheFirst) {
  Run(WithBoards({2, 10}));
  Run(WithBoards({2}));
  EXPECT_TRUE(InKit(kDrivers + "Jurano/board.inf"));
  EXPECT_TRUE(InKit("Jurano/runtime/jurano.dll"));
  EXPECT_EQ(Libraries(), (std::vector<std::string>{"vokvarnex.dll"}));
}

}  // namespace
}  // namespace vostrel::testing
