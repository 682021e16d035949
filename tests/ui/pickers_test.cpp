// The two Browse buttons: the source picker (the system's Open dialog) and
// the folder picker built on it.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <string>

#include "res/resource.h"
#include "tests/support/temp_tree.h"
#include "tests/ui/gui_driver.h"

namespace vostrel::gui {
namespace {

using vostrel::testing::TempTree;

TEST(SourcePicker, FillsTheFieldWithTheFullPathAndCancelKeepsIt) {
  TempTree tree;
  tree.Write("medium/Disk1/setup.exe", "installer");
  VostrelProcess tool;
  std::string chosen = WindowsPath(tree.Path("medium/Disk1/setup.exe"));

  ASSERT_TRUE(PickSource(tool, chosen));
  EXPECT_TRUE(SamePath(tool.ItemText(IDC_SOURCE), chosen)) << tool.ItemText(IDC_SOURCE);

  // Cancel after a pick: the earlier path stays. This time the picker is
  // opened from the keyboard: Tab to Browse, Enter.
  ::PostMessageA(tool.main(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(tool.Item(IDC_GENERATE)),
                 TRUE);
  ASSERT_TRUE(tool.WaitForFocus(IDC_GENERATE));
  tool.PressKeyOnFocus(VK_TAB);
  ASSERT_TRUE(tool.WaitForFocus(IDC_BROWSE_SOURCE));
  tool.PressKeyOnFocus(VK_RETURN);
  HWND picker = tool.WaitForOwnedDialog();
  ASSERT_NE(picker, nullptr);
  VostrelProcess::Click(::GetDlgItem(picker, IDCANCEL));
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(picker); }));
  EXPECT_TRUE(SamePath(tool.ItemText(IDC_SOURCE), chosen));

  // A second pick replaces the text, a file at a drive's root included; the
  // picker does not ask whether the file exists.
  ASSERT_TRUE(PickSource(tool, "C:\\setup.exe"));
  EXPECT_TRUE(SamePath(tool.ItemText(IDC_SOURCE), "C:\\setup.exe"));
}

// The folder picker's list view (inside the shell view of the frame).
HWND FolderList(HWND frame) {
  HWND view = ::FindWindowExA(frame, nullptr, "SHELLDLL_DefView", nullptr);
  return view != nullptr ? ::FindWindowExA(view, nullptr, WC_LISTVIEWA, nullptr) : nullptr;
}

TEST(FolderPicker, ShowsSelectBesideCancelAndReturnsTheFolderShown) {
  TempTree tree;
  tree.MakeDir("kit/Disk1");
  std::string kit = WindowsPath(tree.Path("kit"));
  VostrelProcess tool;
  // The picker opens where the last file was chosen.
  ASSERT_TRUE(PickSource(tool, kit + "\\setup.exe"));

  HWND frame = OpenFolderPicker(tool);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(WindowText(frame), "Choose folder");
  for (int hidden : {edt1, stc3, cmb1, stc2, cmb13}) {
    EXPECT_FALSE(IsVisibleChild(frame, hidden)) << hidden;
  }
  HWND select = ::GetDlgItem(frame, IDOK);
  HWND cancel = ::GetDlgItem(frame, IDCANCEL);
  ASSERT_NE(select, nullptr);
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(WindowText(select), "Select");
  RECT selectRect = RectIn(select, frame);
  RECT cancelRect = RectIn(cancel, frame);
  EXPECT_EQ(selectRect.top, cancelRect.top) << "one row";
  EXPECT_EQ(selectRect.right + 4, cancelRect.left) << "4 pixels apart";
  if (HWND list = ::GetDlgItem(frame, lst1)) {
    EXPECT_EQ(RectIn(list, frame).bottom, cancelRect.top - 4) << "list down to the button row";
  }
  // Highlighting a folder in the list does not pick it: the folder shown is.
  if (HWND list = FolderList(frame)) {
    VostrelProcess::PressKey(list, VK_DOWN);
    WaitUntil([&] { return ::SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0) > 0; },
              std::chrono::milliseconds(3000));
  }
  SaveScreenshot("folder_picker");

  VostrelProcess::Click(select);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(frame); }));
  EXPECT_TRUE(SamePath(tool.ItemText(IDC_DESTINATION), kit)) << tool.ItemText(IDC_DESTINATION);

  // Opened again, one level up ("Up One Level" in the picker's toolbar):
  // Select answers with the parent.
  frame = OpenFolderPicker(tool);
  ASSERT_NE(frame, nullptr);
  ::PostMessageA(frame, WM_COMMAND, MAKEWPARAM(0xA001, 0), 0);
  VostrelProcess::Click(::GetDlgItem(frame, IDOK));
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(frame); }));
  EXPECT_TRUE(SamePath(tool.ItemText(IDC_DESTINATION), WindowsPath(tree.root())))
      << tool.ItemText(IDC_DESTINATION);
}

TEST(FolderPicker, CancelAndClosingKeepTheEarlierPick) {
  TempTree tree;
  tree.MakeDir("kit");
  std::string kit = WindowsPath(tree.Path("kit"));
  VostrelProcess tool;
  ASSERT_TRUE(PickDestination(tool, kit));

  HWND frame = OpenFolderPicker(tool);
  ASSERT_NE(frame, nullptr);
  VostrelProcess::Click(::GetDlgItem(frame, IDCANCEL));
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(frame); }));
  EXPECT_TRUE(SamePath(tool.ItemText(IDC_DESTINATION), kit));

  frame = OpenFolderPicker(tool);
  ASSERT_NE(frame, nullptr);
  ::PostMessageA(frame, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(frame); }));
  EXPECT_TRUE(SamePath(tool.ItemText(IDC_DESTINATION), kit));
  EXPECT_TRUE(::IsWindowEnabled(tool.main()));
}

TEST(FolderPicker, DriveRootKeepsItsBackslash) {
  TempTree tree;
  tree.MakeDir("kit");
  VostrelProcess tool;
  ASSERT_TRUE(PickDestination(tool, tree.Path("kit")));
  ASSERT_TRUE(PickSource(tool, "C:\\setup.exe"));
  ASSERT_TRUE(PickDestination(tool));
  EXPECT_EQ(tool.ItemText(IDC_DESTINATION), "C:\\");
}

}  // namespace
}  // namespace vostrel::gui
