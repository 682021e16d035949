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
constexpr const char* kIncomplete = "Redistribution Incomplete";
constexpr std::chrono::milliseconds kRunTime{120000};

// Waits for the tool's message box, checks its look, presses OK and returns
// what it said (its text is empty when no box came).
MessageBoxView ConfirmMessageBox(const VostrelProcess& tool, const char* screenshot = nullptr) {
  MessageBoxView view;
  HWND box = tool.WaitForWindow("Vostrel", kRunTime);
  EXPECT_NE(box, nullptr) << "no message box";
  if (box == nullptr) return view;
  view = ReadMessageBox(box);
  EXPECT_EQ(view.caption, "Vostrel");
  EXPECT_EQ(view.buttons, std::vector<std::string>{"OK"});
  EXPECT_TRUE(view.hasIcon);
  EXPECT_FALSE(::IsWindowEnabled(tool.main())) << "the box is modal";
  if (screenshot != nullptr) SaveScreenshot(screenshot);
  EXPECT_NE(view.okButton, nullptr);
  VostrelProcess::Click(view.okButton);
  EXPECT_TRUE(tool.WaitForWindowGone("Vostrel"));
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(tool.main()) != FALSE; }));
  return view;
}

void ExpectMessageAndConfirm(const VostrelProcess& tool, const std::string& text,
                             const char* screenshot = nullptr) {
  EXPECT_EQ(ConfirmMessageBox(tool, screenshot).text, text);
}

// The box after a run with problems: its first line, then the problems.
void ExpectIncomplete(const VostrelProcess& tool, const std::vector<std::string>& mentions,
                      const char* screenshot = nullptr) {
  const std::string text = ConfirmMessageBox(tool, screenshot).text;
  EXPECT_EQ(text.rfind("The kit may be incomplete:\n", 0), 0u) << text;
  for (const std::string& mention : mentions) {
    EXPECT_NE(text.find(mention), std::string::npos) << mention << " not in: " << text;
  }
  EXPECT_EQ(tool.ItemText(IDC_STATUS), kIncomplete);
}

bool WaitForStatus(const VostrelProcess& tool, const char* status) {
  return WaitUntil([&] { return tool.ItemText(IDC_STATUS) == status; }, kRunTime);
}

// Builds a kit from the medium of `tree` into `kit` from the window.
void Generate(const VostrelProcess& tool, const TempTree& tree, const std::string& kit) {
  ASSERT_TRUE(PickDestination(tool, tree.Path(kit)));
  ASSERT_TRUE(PickSource(tool, WindowsPath(tree.Path("medium/setup.exe"))));
  VostrelProcess::Click(tool.Item(IDC_GENERATE));
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
  Generate(tool, tree, "kit");
  ASSERT_TRUE(WaitForStatus(tool, kComplete));
  EXPECT_EQ(tool.FindWindowNamed("Vostrel"), nullptr) << "a complete run shows no box";
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
  // fields and boxes are read again. The walk of the medium's root stops at
  // the first file the kit already holds: the run says so, with advice.
  VostrelProcess::Click(tool.Item(IDC_CONTROL_PACKAGE));
  VostrelProcess::Click(tool.Item(IDC_PELLAM));
  VostrelProcess::Click(tool.Item(IDC_GENERATE));
  ExpectIncomplete(tool, {"Stopped at", "choose an empty folder"}, "incomplete_box");
  EXPECT_EQ(ProfileValue(setupType, "PRODUCT", "QuenzoRuntime"), "Y");
  EXPECT_EQ(ProfileValue(setupType, "SELECTED", "QuenzoRuntime"), "Y");
  EXPECT_TRUE(tree.Exists("kit/Talvor Imaging/Drivers/Pellam/Pellam.cfg"));
  EXPECT_EQ(tree.Read("kit/setup.exe"), "installer");
  EXPECT_TRUE(tree.Snapshot("medium").count("Talvor Imaging/Tools/readme.txt") == 1)
      << "the medium is only read";

  // After OK the window works as after any run: into an empty folder the
  // same choices make a whole kit.
  tree.MakeDir("kit2");
  Generate(tool, tree, "kit2");
  ASSERT_TRUE(WaitForStatus(tool, kComplete));
  EXPECT_TRUE(tree.Exists("kit2/Talvor Imaging/Quenzo/Controls/quenzo.ocx"));
}

// A name this system's code page cannot spell (a Japanese manual among the
// driver files) is listed with '?': it cannot be copied, and its line says
// why instead of blaming the name's syntax.
TEST(Generate, NameBeyondTheCodePageIsSaidToBeSoInItsLine) {
  TempTree tree;
  WriteMedium(tree);
  const std::string folder = WindowsPath(tree.Path("medium/Talvor Imaging/Drivers/DMA"));
  const std::wstring manual = std::wstring(folder.begin(), folder.end()) + L"\\説明書.txt";
  const HANDLE file = ::CreateFileW(manual.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ::CloseHandle(file);
  tree.MakeDir("kit");
  VostrelProcess tool;
  Generate(tool, tree, "kit");
  ExpectIncomplete(tool, {"DMA\\???.txt: the name cannot be written in this system's code page"});
}

// Runs a host command when the object goes: the clean-up of a host change.
class OnHostAtEnd {
 public:
  explicit OnHostAtEnd(std::string command) : command_(std::move(command)) {}
  ~OnHostAtEnd() { RunOnHost(command_); }

 private:
  std::string command_;
};

// A free drive letter ("X:") mapped to a host folder while the object lives;
// empty when none can be.
class MappedDrive {
 public:
  explicit MappedDrive(const std::string& hostFolder) {
    char letter = 'M';
    while (letter < 'Z' && (::GetLogicalDrives() & (1u << (letter - 'A'))) != 0) ++letter;
    const std::string systemDrive = HostPath("C:\\");
    device_ = systemDrive + "../dosdevices/" + static_cast<char>(letter - 'A' + 'a') + ":";
    if (systemDrive.empty() || !RunOnHost("ln -s '" + hostFolder + "' '" + device_ + "'")) return;
    const std::string drive = std::string(1, letter) + ":";
    if (WaitUntil([&] {
          return ::GetFileAttributesA((drive + "\\").c_str()) != INVALID_FILE_ATTRIBUTES;
        })) {
      drive_ = drive;
    }
  }
  ~MappedDrive() { RunOnHost("rm -f '" + device_ + "'"); }
  const std::string& drive() const { return drive_; }

 private:
  std::string device_;
  std::string drive_;
};

TEST(Generate, FullDiskEndsIncompleteAndNamesTheFileThatDidNotFit) {
  TempTree tree;
  WriteMedium(tree);
  tree.Write("medium/data1.cab", std::string(512 * 1024, 'c'));
  tree.MakeDir("disk");
  const std::string disk = HostPath(tree.Path("disk"));
  if (disk.empty() || !RunOnHost("mount -t tmpfs -o size=128k vostrel-full '" + disk + "'")) {
    GTEST_SKIP() << "no small disk can be mounted here";
  }
  OnHostAtEnd unmount("umount -l '" + disk + "'");
  MappedDrive full(disk);  // the kit at the root of a drive of its own
  ASSERT_FALSE(full.drive().empty());
  VostrelProcess tool;  // ends before the disk goes
  ASSERT_TRUE(PickDestination(tool, full.drive() + "\\"));
  ASSERT_TRUE(PickSource(tool, WindowsPath(tree.Path("medium/setup.exe"))));
  VostrelProcess::Click(tool.Item(IDC_GENERATE));
  ExpectIncomplete(tool, {"data1.cab"}, "full_disk_box");
  EXPECT_FALSE(tree.Exists("disk/data1.cab"));
}

TEST(Generate, WindowAnswersDuringALongCopyAndTakesInputOnlyAfterIt) {
  TempTree tree;
  WriteMedium(tree);
  tree.MakeDir("kit");
  // A large medium file (sparse: it takes no room on the disk it is read from).
  const std::string large = HostPath(tree.Path("medium/data2.cab"));
  if (large.empty() || !RunOnHost("truncate -s 1G '" + large + "'")) GTEST_SKIP() << "no host";
  VostrelProcess tool;
  Generate(tool, tree, "kit");
  ASSERT_TRUE(WaitUntil([&] { return tool.ItemText(IDC_STATUS).rfind("Copying", 0) == 0; }));

  VostrelProcess::Click(tool.Item(IDC_CONTROL_PACKAGE));  // input: waits for the run's end
  // Until the large file stands in the kit, every message sent is answered
  // within a second, and no command runs (a picker would not return).
  int answered = 0;
  DWORD_PTR answer = 0;
  while (!tree.Exists("kit/data2.cab")) {
    ASSERT_NE(::SendMessageTimeoutA(tool.main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer), 0)
        << "no answer within a second";
    ASSERT_NE(
        ::SendMessageTimeoutA(tool.main(), WM_COMMAND, MAKEWPARAM(IDC_BROWSE_SOURCE, BN_CLICKED),
                              reinterpret_cast<LPARAM>(tool.Item(IDC_BROWSE_SOURCE)), SMTO_NORMAL,
                              1000, &answer),
        0);
    if (!tree.Exists("kit/data2.cab")) {
      EXPECT_EQ(::SendMessageA(tool.Item(IDC_CONTROL_PACKAGE), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    }
    ++answered;
    ::Sleep(100);
  }
  EXPECT_GT(answered, 0);
  ASSERT_TRUE(WaitForStatus(tool, kComplete));
  EXPECT_TRUE(WaitUntil([&] {
    return ::SendMessageA(tool.Item(IDC_CONTROL_PACKAGE), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }));
  EXPECT_EQ(tool.FindWindowNamed("Vostrel"), nullptr);
}

TEST(Generate, MediumAtADriveRootBuildsItsKitOnThatDrive) {
  TempTree tree;
  WriteMedium(tree);
  tree.MakeDir("medium/Kit");
  MappedDrive medium(HostPath(tree.Path("medium")));
  if (medium.drive().empty()) GTEST_SKIP() << "no drive letter can be mapped here";
  const std::string drive = medium.drive();

  VostrelProcess tool;
  // The destination picked last, so the drive's current folder is the kit's;
  // the source as its picker gives it.
  ASSERT_TRUE(PickDestination(tool, drive + "\\Kit"));
  const std::string setup = drive + "\\setup.exe";
  ::SendMessageA(tool.Item(IDC_SOURCE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(setup.c_str()));
  VostrelProcess::Click(tool.Item(IDC_GENERATE));
  ASSERT_TRUE(WaitForStatus(tool, kComplete)) << tool.ItemText(IDC_STATUS);
  EXPECT_EQ(tree.Read("medium/Kit/setup.exe"), "installer");
  EXPECT_TRUE(tree.Exists("medium/Kit/Talvor Imaging/Vok/dll/vok.dll"));
  EXPECT_FALSE(tree.Exists("medium/Kit/Kit"));
}

}  // namespace
}  // namespace vostrel::gui
