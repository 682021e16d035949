// The Win32 FileSystem against the real kernel32 (under Wine on the build
// machine): what only this layer does. The rules every FileSystem keeps are
// checked in tests/contract.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/native.h"
#include "platform/whole_file.h"
#include "platform/win32/pending_file.h"
#include "platform/win32/win32_file_system.h"
#include "tests/support/temp_tree.h"

namespace vostrel::platform {
namespace {

using vostrel::testing::TempTree;

class Win32FileSystemTest : public ::testing::Test {
 protected:
  // The Windows-form path of `relative` ('/' separated) inside the tree.
  std::string P(const std::string& relative = "") const {
    std::string path = tree_.root();
    if (!relative.empty()) path += "\\" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }

  TempTree tree_;
  Win32FileSystem fs_;
};

TEST_F(Win32FileSystemTest, CopiesLeaveNoTemporaryBehindWhetherTheySucceedOrFail) {
  tree_.Write("medium/a.dll", "a");
  tree_.Write("medium/ro.dll", "ro");
  tree_.MakeReadOnly("medium/ro.dll");
  tree_.MakeDir("kit");
  EXPECT_TRUE(fs_.CopyOneFile(P("medium/a.dll"), P("kit/a.dll"), true));
  EXPECT_TRUE(fs_.CopyOneFile(P("medium/ro.dll"), P("kit/ro.dll"), true));
  EXPECT_FALSE(fs_.CopyOneFile(P("medium/a.dll"), P("kit/ro.dll"), true));
  EXPECT_FALSE(fs_.CopyOneFile(P("medium/none.dll"), P("kit/none.dll"), true));
  EXPECT_EQ(tree_.Snapshot("kit"),
            (std::map<std::string, std::string>{{"a.dll", "a"}, {"ro.dll", "ro"}}));
  EXPECT_TRUE(tree_.IsReadOnly("kit/ro.dll"));
}

// Whole-file writes: in place only when committed, nothing left behind
// otherwise.
TEST_F(Win32FileSystemTest, WholeFileIsInPlaceOnlyWhenCommitted) {
  tree_.Write("out/report.json", "old");
  std::string error;
  {
    std::unique_ptr<WholeFile> abandoned = BeginWholeFile(P("out/report.json"), error);
    ASSERT_NE(nullptr, abandoned) << error;
    ASSERT_TRUE(abandoned->Write("new", 3, error)) << error;
  }
  EXPECT_EQ("old", tree_.Read("out/report.json"));
  EXPECT_TRUE(WriteWholeFile(P("out/report.json"), "new", error)) << error;
  EXPECT_EQ(tree_.Snapshot("out"), (std::map<std::string, std::string>{{"report.json", "new"}}));
  EXPECT_EQ(nullptr, BeginWholeFile(P("missing/report.json"), error));
  EXPECT_FALSE(error.empty());
}

// The pending file under both: placed never over an existing name, replacing
// in one move, dropped (read-only too) without a trace.
TEST_F(Win32FileSystemTest, PendingFileStandsUnderItsNameOnlyOncePlaced) {
  tree_.Write("kit/a.dll", "old");
  tree_.Write("medium/b.dll", "new");
  auto copyOfB = [&](const std::string& temporary) {
    return CopyFileA(P("medium/b.dll").c_str(), temporary.c_str(), TRUE) != 0;
  };
  {
    PendingFile dropped(P("kit/b.dll"));
    ASSERT_TRUE(dropped.Create(copyOfB));
    SetFileAttributesA(dropped.Temporary().c_str(), FILE_ATTRIBUTE_READONLY);
  }
  PendingFile file(P("kit/a.dll"));
  ASSERT_TRUE(file.Create(copyOfB));
  EXPECT_FALSE(file.Place());
  EXPECT_EQ(tree_.Snapshot("kit").size(), 2u);  // a.dll and the pending file
  EXPECT_EQ("old", tree_.Read("kit/a.dll"));
  ASSERT_TRUE(file.Replace());
  EXPECT_EQ(tree_.Snapshot("kit"), (std::map<std::string, std::string>{{"a.dll", "new"}}));
}

TEST_F(Win32FileSystemTest, ClosedEnumerationReleasesTheFolder) {
  tree_.MakeDir("medium/sub");
  FindData entry;
  {
    std::unique_ptr<FolderEnumeration> enumeration =
        fs_.FindFirst(P("medium/sub") + "\\*.*", entry);
    ASSERT_NE(enumeration, nullptr);
  }
  EXPECT_TRUE(RemoveDirectoryA(P("medium/sub").c_str()));
}

class Win32ProfileTest : public Win32FileSystemTest {
 protected:
  std::string File() const { return P("Vok/SetupType.txt"); }
};

TEST_F(Win32ProfileTest, ReplacesValueInPlaceAndAddsMissingKeyAndSection) {
  tree_.Write("Vok/SetupType.txt",
              "; medium comment\r\n[PRODUCT]\r\nVokDevelopment=Y\r\nKRT=Y\r\n[OTHER]\r\nx=1\r\n");

  EXPECT_TRUE(fs_.WriteProfileEntry("PRODUCT", "VokDevelopment", "N", File()));
  EXPECT_TRUE(fs_.WriteProfileEntry("product", "krt", "N", File()));
  EXPECT_TRUE(fs_.WriteProfileEntry("PRODUCT", "Framory", "N", File()));
  EXPECT_TRUE(fs_.WriteProfileEntry("SELECTED", "Framory", "Y", File()));

  char value[16];
  auto read = [&](const char* section, const char* key) {
    GetPrivateProfileStringA(section, key, "-", value, sizeof value, File().c_str());
    return std::string(value);
  };
  EXPECT_EQ(read("PRODUCT", "VokDevelopment"), "N");
  EXPECT_EQ(read("PRODUCT", "KRT"), "N");
  EXPECT_EQ(read("PRODUCT", "Framory"), "N");
  EXPECT_EQ(read("SELECTED", "Framory"), "Y");
  EXPECT_EQ(read("OTHER", "x"), "1");

  // The edited keys keep their lines; the new section comes last.
  std::string text = tree_.Read("Vok/SetupType.txt");
  EXPECT_EQ(text.find("; medium comment"), 0u) << text;
  size_t product = text.find("[PRODUCT]");
  size_t development = text.find("VokDevelopment=N");
  size_t krt = text.find("KRT=N");
  size_t other = text.find("[OTHER]");
  size_t framory = text.find("Framory=N");
  size_t selected = text.find("[SELECTED]");
  ASSERT_NE(selected, std::string::npos) << text;
  EXPECT_LT(product, development);
  EXPECT_LT(development, krt);
  EXPECT_LT(krt, framory);
  EXPECT_LT(framory, other);
  EXPECT_LT(other, selected);
  EXPECT_EQ(text.find("=Y"), text.find("Framory=Y", selected) + 7) << text;
}

TEST_F(Win32ProfileTest, RelativePathIsTakenAgainstCurrentFolderNotWindowsFolder) {
  tree_.MakeDir("Vok");
  char saved[MAX_PATH];
  ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, saved), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(P("Vok").c_str()));
  const std::string name = "vostrel-relative-" + std::to_string(GetCurrentProcessId()) + ".txt";

  bool written = fs_.WriteProfileEntry("PRODUCT", "KRT", "N", name);
  SetCurrentDirectoryA(saved);

  EXPECT_TRUE(written);
  EXPECT_TRUE(tree_.Exists("Vok/" + name));
  char windows[MAX_PATH];
  ASSERT_NE(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
  std::string stray = std::string(windows) + "\\" + name;
  EXPECT_EQ(GetFileAttributesA(stray.c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileA(stray.c_str());
}

TEST_F(Win32FileSystemTest, FolderIdentityIgnoresSpellingAndTellsFoldersApart) {
  tree_.MakeDir("Kit/Talvor Imaging");
  tree_.MakeDir("Medium");
  tree_.Write("Kit/file.txt", "x");

  FolderId kit, kitAgain, medium;
  ASSERT_TRUE(fs_.IdentifyFolder(P("Kit"), kit));
  ASSERT_TRUE(fs_.IdentifyFolder(P("KIT\\"), kitAgain));
  EXPECT_EQ(kit, kitAgain);
  ASSERT_TRUE(fs_.IdentifyFolder(P("Kit/Talvor Imaging/.."), kitAgain));
  EXPECT_EQ(kit, kitAgain);
  ASSERT_TRUE(fs_.IdentifyFolder(P("Medium"), medium));
  EXPECT_NE(kit, medium);

  EXPECT_FALSE(fs_.IdentifyFolder(P("Kit/file.txt"), medium));
  EXPECT_FALSE(fs_.IdentifyFolder(P("Missing"), medium));
}

TEST_F(Win32FileSystemTest, FullPathResolvesRelativeAndTakesCaseFromDisk) {
  tree_.MakeDir("Kit/Talvor Imaging");
  char saved[MAX_PATH];
  ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, saved), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(P().c_str()));
  std::string relative = fs_.FullPath("kit\\talvor imaging\\Missing\\x.txt");
  std::string dotted = fs_.FullPath("Kit\\.\\Talvor Imaging\\..");
  // A drive-root medium's root "X:" is the drive's root, not its current folder.
  const std::string drive = P().substr(0, 2);
  std::string driveRoot = fs_.FullPath(drive);
  FolderId rootId, driveId;
  const bool identified =
      fs_.IdentifyFolder(drive, driveId) && fs_.IdentifyFolder(drive + "\\", rootId);
  SetCurrentDirectoryA(saved);
  EXPECT_EQ(driveRoot, drive + "\\");
  EXPECT_TRUE(identified && rootId == driveId);

  std::string root = fs_.FullPath(P());
  EXPECT_EQ(relative, root + "\\Kit\\Talvor Imaging\\Missing\\x.txt");
  EXPECT_EQ(dotted, root + "\\Kit");
  EXPECT_EQ(fs_.FullPath(P("KIT")), root + "\\Kit");
}

std::string Folded(std::string path) {
  for (char& c : path)
    c = c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return path;
}

// A folder link that already exists: links cannot be made here (Wine's
// CreateSymbolicLinkA does nothing), but Wine's user folders are links.
std::string FindFolderLink() {
  char profile[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  WIN32_FIND_DATAA data;
  HANDLE handle = FindFirstFileA((std::string(profile) + "\\*.*").c_str(), &data);
  if (handle == INVALID_HANDLE_VALUE) return std::string();
  std::string found;
  do {
    const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((data.dwFileAttributes & link) == link)
      found = std::string(profile) + "\\" + data.cFileName;
  } while (found.empty() && FindNextFileA(handle, &data));
  FindClose(handle);
  return found;
}

TEST_F(Win32FileSystemTest, FullPathFollowsFolderLinks) {
  std::string link = FindFolderLink();
  if (link.empty()) GTEST_SKIP() << "no folder link in the user profile";

  std::string target = fs_.FullPath(link);
  EXPECT_NE(Folded(target), Folded(link));
  FolderId viaLink, viaTarget;
  ASSERT_TRUE(fs_.IdentifyFolder(link, viaLink));
  ASSERT_TRUE(fs_.IdentifyFolder(target, viaTarget)) << target;
  EXPECT_EQ(viaLink, viaTarget);
  EXPECT_EQ(fs_.FullPath(link + "\\vostrel-missing\\x.txt"), target + "\\vostrel-missing\\x.txt");
}

TEST(Win32NativeTest, AbsolutePathResolvesAgainstCurrentFolderOnly) {
  TempTree tree;
  char saved[MAX_PATH];
  ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, saved), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(tree.root().c_str()));
  std::string kit = AbsolutePath("Kit");
  std::string parent = AbsolutePath("a\\..\\Kit\\");
  char current[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, current);
  SetCurrentDirectoryA(saved);

  EXPECT_EQ(kit, std::string(current) + "\\Kit");
  EXPECT_EQ(parent, std::string(current) + "\\Kit\\");
  EXPECT_EQ(AbsolutePath("C:\\Kit"), "C:\\Kit");
  EXPECT_EQ(AbsolutePath(""), "");
  EXPECT_EQ(PreferredSeparator(), '\\');
}

TEST(Win32NativeTest, NativeFileSystemIsTheWin32One) {
  std::unique_ptr<FileSystem> fs = MakeNativeFileSystem();
  ASSERT_NE(fs, nullptr);
  EXPECT_NE(dynamic_cast<Win32FileSystem*>(fs.get()), nullptr);
}

// A folder another thread holds, as another run would (a mutex belongs to
// the thread that took it): a run into it, into a folder inside or above it,
// also one not made yet, is refused with the held folder as its holder named
// it; a run beside it is not, nor any once the holder ends.
TEST_F(Win32FileSystemTest, HeldFoldersRefuseRunsNestedInThem) {
  tree_.MakeDir("par/Jurano/deep");
  tree_.MakeDir("par/beside");
  const struct {
    std::string holds, asks, held;  // held: "(none)" when the run may go on
  } cases[] = {
      {"par/Jurano", "par/Jurano", ""},
      {"par/Jurano", "par", P("par/Jurano")},
      {"par/Jurano", "par/Jurano/deep", P("par/Jurano")},
      {"par/Jurano", "par/Jurano/not-yet/kit", P("par/Jurano")},
      {"par/Jurano", "par/beside", "(none)"},
      {"par", "par/Jurano", P("par")},
  };
  for (const auto& c : cases) {
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
      std::string ignored;
      const std::unique_ptr<FolderLock> lock = LockFolder(P(c.holds), ignored);
      SetEvent(taken);
      WaitForSingleObject(done, INFINITE);
    });
    WaitForSingleObject(taken, INFINITE);
    const std::optional<std::string> found = FolderHeldNear(P(c.asks));
    EXPECT_EQ(found.value_or("(none)"), c.held) << c.holds << " held, " << c.asks << " asked";
    if (tree_.Exists(c.asks)) {
      std::string held;
      const std::unique_ptr<FolderLock> lock = LockFolder(P(c.asks), held);
      EXPECT_EQ(lock ? "(none)" : held, c.held) << c.holds << " held, " << c.asks << " locked";
    }
    SetEvent(done);
    holder.join();
    CloseHandle(taken);
    CloseHandle(done);
    std::string held;
    EXPECT_NE(LockFolder(P(c.asks), held), nullptr) << "after " << c.holds << " ended";
  }
}

}  // namespace
}  // namespace vostrel::platform
