// Generate from the window: the validation message boxes and whole runs into
// a temporary destination.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/temp_tree.h"
#include "tests/ui/gui_driver.h"

namespace vostrel::gui {
namespace {

using vostrel::testing::TempTree;

constexpr const char* kComplete = "Redistribution Complete";

// Waits for the validation box, checks its look and presses OK.
void ExpectMessageAndConfirm(const VostrelProcess& tool, const std::string& text,
                             const char* screenshot = nullptr) {
  HWND box = tool.WaitForWindow("Vostrel");
  ASSERT_NE(box, nullptr) << "no message box for: " << text;
  MessageBoxView view = ReadMessageBox(box);
  EXPECT_EQ(view.caption, "Vostrel");
  EXPECT_EQ(view.text, text);
  EXPECT_EQ(view.buttons, std::vector<std::string>{"OK"});
  EXPECT_TRUE(view.hasIcon);
  EXPECT_FALSE(::IsWindowEnabled(tool.main())) << "the box is modal";
  if (screenshot != nullptr) SaveScreenshot(screenshot);
  ASSERT_NE(view.okButton, nullptr);
  VostrelProcess::Click(view.okButton);
  ASSERT_TRUE(tool.WaitForWindowGone("Vostrel"));
}

// An installation medium with a little of everything a run touches.
void WriteMedium(const TempTree& tree) {
  tree.Write("medium/setup.exe", "installer");
  tree.Write("medium/data1.cab", "cabinet");
  for (const char* tool : {"VOKConfig.exe", "vokdrv.exe", "BchResum.bch", "vokbench.exe"}) {
    tree.Write(std::string("medium/Talvor Imaging/Tools/") + tool, tool);
  }
  tree.Write("medium/Talvor Imaging/Tools/readme.txt", "not part of a kit");
  for (const char* library : {"vok.dll", "vokpellam.dll", "vokardune.dll", "vokjurano.dll"}) {
    tree.Write(std::string("medium/Talvor Imaging/Vok/dll/") + library, library);
  }
  tree.Write("medium/Talvor Imaging/Vok/Revision.txt", "8.0");
  tree.Write("medium/Talvor Imaging/Vok/SetupType.txt",
             "[PRODUCT]\r\nVokDevelopment=Y\r\nQuenzoRuntime=Y\r\n[SELECTED]\r\n"
             "VokDevelopment=Y\r\n");
  tree.Write("medium/Talvor Imaging/Quenzo/Controls/quenzo.ocx", "control");
  tree.Write("medium/Talvor Imaging/Drivers/DMA/dma.sys", "dma");
  tree.Write("medium/Talvor Imaging/Drivers/Utilities/util.exe", "utility");
  tree.Write("medium/Talvor Imaging/Drivers/Utilities/Nested/deep.exe", "not copied");
  tree.Write("medium/Talvor Imaging/Drivers/PELUX/pelux.sys", "video");
  tree.Write("medium/Talvor Imaging/Drivers/Pellam/pellam.sys", "board");
  tree.Write("medium/Talvor Imaging/Drivers/Pellam/Pellam.cfg", "board settings");
}

std::string ProfileValue(const std::string& file, const char* section, const char* key) {
  char value[64] = {};
  ::GetPrivateProfileStringA(section, key, "(none)", value, sizeof(value), file.c_str());
  return value;
}

TEST(Validation, GenerateWithoutSourceSaysSoAndChangesNothing) {
  VostrelProcess tool;
  ASSERT_TRUE(tool.WaitForFocus(IDC_GENERATE));
  // Enter at start presses the focused Generate button.
  tool.PressKeyOnFocus(VK_RETURN);
  ExpectMessageAndConfirm(tool, "Must Select the Source for Redistribution", "message_box");
  EXPECT_EQ(tool.ItemText(IDC_STATUS), "");
  EXPECT_FALSE(tool.WaitForExit(std::chrono::milliseconds(200)));

  // setup.exe at a drive's root is a source (the root "C:"): the next check
  // is the destination's.
  ASSERT_TRUE(PickSource(tool, "C:\\setup.exe"));
  VostrelProcess::Click(tool.Item(IDC_GENERATE));
  ExpectMessageAndConfirm(tool, "Must Select the Destination for The Copy Of Redistribution");
}

TEST(Validation, EachMissingChoiceHasItsMessageAndNothingIsWritten) {
  TempTree tree;
  WriteMedium(tree);
  tree.MakeDir("kit");
  std::string setup = WindowsPath(tree.Path("medium/setup.exe"));
  VostrelProcess tool;
  ASSERT_TRUE(PickSource(tool, setup));
  VostrelProcess::Click(tool.Item(IDC_GENERATE));
  ExpectMessageAndConfirm(tool, "Must Select the Destination for The Copy Of Redistribution");

  ASSERT_TRUE(PickDestination(tool, tree.Path("kit")));
  ASSERT_TRUE(PickSource(tool, setup));
  // No package: only reachable by clearing the disabled "VOK" box from outside.
  ::SendMessageA(tool.Item(IDC_RUNTIME), BM_SETCHECK, BST_UNCHECKED, 0);
  VostrelProcess::Click(tool.Item(IDC_GENERATE));
  ExpectMessageAndConfirm(tool, "Must Select A Package For Redistribution");

  EXPECT_TRUE(tree.Snapshot("kit").empty());
  EXPECT_EQ(tool.ItemText(IDC_STATUS), "");
}

TEST(Validation, DestinationThatIsTheSourceIsRefused) {
  TempTree tree;
  WriteMedium(tree);
  std::string medium = WindowsPath(tree.Path("medium"));
  VostrelProcess tool;
  ASSERT_TRUE(PickDestination(tool, medium));
  ASSERT_TRUE(SamePath(tool.ItemText(IDC_SOURCE), medium + "\\setup.exe"));

  auto before = tree.Snapshot("medium");
  VostrelProcess::Click(tool.Item(IDC_GENERATE));
  ExpectMessageAndConfirm(tool, "Must Select a Destination Other Than the Source");
  EXPECT_EQ(tree.Snapshot("medium"), before);
}

TEST(Generate, BuildsTheKitAndASecondRunAddsWhatIsNewlyTicked) {
  TempTree tree;
  WriteMedium(tree);
  tree.MakeDir("kit");
  VostrelProcess tool;
  ASSERT_TRUE(PickDestination(tool, tree.Path("kit")));
  ASSERT_TRUE(PickSource(tool, WindowsPath(tree.Path("medium/setup.exe"))));

  VostrelProcess::Click(tool.Item(IDC_GENERATE));
  ASSERT_TRUE(WaitUntil([&] { return tool.ItemText(IDC_STATUS) == kComplete; },
                        std::chrono::milliseconds(120000)));
  SaveScreenshot("main_window_after_run");

  // As the window opened: runtime and video card, no board.
  EXPECT_EQ(tree.Read("kit/setup.exe"), "installer");
  EXPECT_TRUE(tree.Exists("kit/data1.cab"));
  EXPECT_TRUE(tree.Exists("kit/Talvor Imaging/Tools/vokbench.exe"));
  EXPECT_FALSE(tree.Exists("kit/Talvor Imaging/Tools/readme.txt"));
  EXPECT_TRUE(tree.Exists("kit/Talvor Imaging/Vok/dll/vok.dll"));
  EXPECT_FALSE(tree.Exists("kit/Talvor Imaging/Vok/dll/vokpellam.dll"));
  EXPECT_FALSE(tree.Exists("kit/Talvor Imaging/Vok/dll/vokjurano.dll"));
  EXPECT_TRUE(tree.Exists("kit/Talvor Imaging/Vok/Revision.txt"));
  EXPECT_TRUE(tree.Exists("kit/Talvor Imaging/Drivers/DMA/dma.sys"));
  EXPECT_TRUE(tree.Exists("kit/Talvor Imaging/Drivers/Utilities/util.exe"));
  EXPECT_FALSE(tree.Exists("kit/Talvor Imaging/Drivers/Utilities/Nested"));
  EXPECT_TRUE(tree.Exists("kit/Talvor Imaging/Drivers/PELUX/pelux.sys"));
  EXPECT_FALSE(tree.Exists("kit/Talvor Imaging/Drivers/Pellam"));
  EXPECT_FALSE(tree.Exists("kit/Talvor Imaging/Quenzo"));
  std::string setupType = WindowsPath(tree.Path("kit/Talvor Imaging/Vok/SetupType.txt"));
  EXPECT_EQ(ProfileValue(setupType, "PRODUCT", "QuenzoRuntime"), "N");
  EXPECT_EQ(ProfileValue(setupType, "PRODUCT", "VokDevelopment"), "N");

  // Second press with the control package and the Pellam board ticked: the
  // fields and boxes are read again.
  VostrelProcess::Click(tool.Item(IDC_CONTROL_PACKAGE));
  VostrelProcess::Click(tool.Item(IDC_PELLAM));
  VostrelProcess::Click(tool.Item(IDC_GENERATE));
  ASSERT_TRUE(
      WaitUntil([&] { return tree.Exists("kit/Talvor Imaging/Quenzo/Controls/quenzo.ocx"); },
                std::chrono::milliseconds(120000)));
  // The window answers only once the run has ended.
  ASSERT_TRUE(WaitUntil([&] { return tool.ItemText(IDC_STATUS) == kComplete; },
                        std::chrono::milliseconds(120000)));
  EXPECT_EQ(ProfileValue(setupType, "PRODUCT", "QuenzoRuntime"), "Y");
  EXPECT_EQ(ProfileValue(setupType, "SELECTED", "QuenzoRuntime"), "Y");
  EXPECT_TRUE(tree.Exists("kit/Talvor Imaging/Drivers/Pellam/Pellam.cfg"));
  EXPECT_EQ(tree.Read("kit/setup.exe"), "installer");
  EXPECT_TRUE(tree.Snapshot("medium").count("Talvor Imaging/Tools/readme.txt") == 1)
      << "the medium is only read";
}

}  // namespace
}  // namespace vostrel::gui
