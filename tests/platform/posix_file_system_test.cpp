// The Linux file system against real folders: Windows-form paths, names
// without regard to case, NTFS order, Win32 error codes and safe copies.
#include "platform/posix/posix_file_system.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "tests/support/listing.h"
#include "tests/support/temp_tree.h"

namespace vostrel::posix {
namespace {

namespace fs = std::filesystem;
using vostrel::testing::Listing;
using vostrel::testing::TempTree;

struct Skip {
  std::string folder, name, reason;
};

class PosixFileSystemTest : public ::testing::Test {
 protected:
  // The engine's form of a path under the tree: the root, then '\' suffixes.
  std::string Win(const std::string& relative) const {
    std::string suffix = relative;
    std::replace(suffix.begin(), suffix.end(), '/', '\\');
    return tree.root() + "\\" + suffix;
  }

  // Names as an enumeration of `relative` yields them (with their bits).
  std::vector<std::pair<std::string, uint32_t>> Enumerate(const std::string& relative) {
    std::vector<std::pair<std::string, uint32_t>> names;
    for (const FindData& entry : Listing(fileSystem, Win(relative))) {
      names.emplace_back(entry.name, entry.attributes);
    }
    return names;
  }

  std::set<std::string> OnDisk(const std::string& relative) const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(tree.Path(relative))) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  mode_t Mode(const std::string& relative) const {
    struct stat status {};
    EXPECT_EQ(stat(tree.Path(relative).c_str(), &status), 0) << relative;
    return status.st_mode & 07777;
  }

  TempTree tree;
  std::vector<Skip> skipped;
  PosixFileSystem fileSystem{[this](const std::string& folder, const std::string& name,
                                    const std::string& reason, platform::SkipKind) {
    skipped.push_back({folder, name, reason});
  }};
};

TEST_F(PosixFileSystemTest, ResolvesEveryComponentWithoutRegardToCase) {
  // The runtime step copies into "...\Vok\dll"; the removals say "...\Vok\DLL".
  tree.Write("Talvor Imaging/Vok/dll/VokPellam.dll", "library");
  tree.Write("Talvor Imaging/Vok/dll/other.dll", "keep");
  FileInfo info;
  ASSERT_TRUE(fileSystem.GetInfo(tree.root() + "\\\\TALVOR imaging//vok\\\\DLL\\OTHER.DLL", info));
  EXPECT_EQ(info.size, 4u);
  EXPECT_TRUE(fileSystem.RemoveFile(Win("Talvor Imaging/Vok/DLL/vokpellam.dll")));
  EXPECT_EQ(OnDisk("Talvor Imaging/Vok/dll"), std::set<std::string>{"other.dll"});

  // The disk's spelling for what exists, the caller's for what does not.
  std::string real = fs::canonical(tree.root()).string();
  EXPECT_EQ(fileSystem.FullPath(Win("talvor IMAGING/VOK/Missing/Deeper")),
            real + "/Talvor Imaging/Vok/Missing/Deeper");
  EXPECT_TRUE(fileSystem.CreateFolder(Win("TALVOR IMAGING/vok/New")));
  EXPECT_TRUE(tree.Exists("Talvor Imaging/Vok/New"));
}

TEST_F(PosixFileSystemTest, ExactNameWinsOverCaseVariants) {
  tree.Write("dir/Data.txt", "capital");
  tree.Write("dir/data.txt", "small");
  tree.Write("Sub/f.txt", "capital folder");
  tree.Write("sub/f.txt", "small folder");
  tree.MakeDir("out");
  ASSERT_TRUE(fileSystem.CopyOneFile(Win("dir/data.txt"), Win("out/1"), true));
  ASSERT_TRUE(fileSystem.CopyOneFile(Win("dir/Data.txt"), Win("out/2"), true));
  // No exact match: the first variant in enumeration order.
  ASSERT_TRUE(fileSystem.CopyOneFile(Win("DIR/DATA.TXT"), Win("out/3"), true));
  ASSERT_TRUE(fileSystem.CopyOneFile(Win("sub/F.TXT"), Win("out/4"), true));
  ASSERT_TRUE(fileSystem.CopyOneFile(Win("SUB/f.txt"), Win("out/5"), true));
  EXPECT_EQ(tree.Read("out/1"), "small");
  EXPECT_EQ(tree.Read("out/2"), "capital");
  EXPECT_EQ(tree.Read("out/3"), "capital");
  EXPECT_EQ(tree.Read("out/4"), "small folder");
  EXPECT_EQ(tree.Read("out/5"), "capital folder");
}

TEST_F(PosixFileSystemTest, FoldsNonAsciiNamesBySimpleCaseMapping) {
  tree.Write("ÄRGER/Σοφία.txt", "greek");
  tree.Write("ÄRGER/привет.txt", "cyrillic");
  tree.Write("ÄRGER/straße", "eszett");
  tree.Write("ÄRGER/raw\xE4", "latin-1 byte");
  FileInfo info;
  EXPECT_TRUE(fileSystem.GetInfo(Win("ärger/ΣΟΦΊΑ.TXT"), info));
  EXPECT_TRUE(fileSystem.GetInfo(Win("Ärger/ПРИВЕТ.txt"), info));
  EXPECT_TRUE(fileSystem.GetInfo(Win("ärger/RAW\xE4"), info));
  // Invalid UTF-8 bytes stand for themselves; 'ß' has no simple capital.
  EXPECT_FALSE(fileSystem.GetInfo(Win("ärger/raw\xC4"), info));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kFileNotFound);
  EXPECT_FALSE(fileSystem.GetInfo(Win("ärger/STRASSE"), info));
}

TEST_F(PosixFileSystemTest, CaseVariantsAndNonAsciiNamesTakeTheirNtfsPlace) {
  for (const char* name : {"Zeta", "aB", "ab", "Ärger"}) tree.Write(name, "x");
  std::vector<std::pair<std::string, uint32_t>> expected = {{".", kFileAttributeDirectory},
                                                            {"..", kFileAttributeDirectory},
                                                            {"aB", 0},
                                                            {"ab", 0},
                                                            {"Zeta", 0},
                                                            {"Ärger", 0}};
  EXPECT_EQ(Enumerate(""), expected);

  // "*" lists the same; a named pattern only its match.
  FindData entry;
  auto all = fileSystem.FindFirst(Win("") + "*", entry);
  ASSERT_TRUE(all);
  EXPECT_EQ(entry.name, ".");
  auto one = fileSystem.FindFirst(Win("ZETA"), entry);
  ASSERT_TRUE(one);
  EXPECT_EQ(entry.name, "Zeta");
  EXPECT_FALSE(one->Next(entry));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kNoMoreFiles);

  // A volume's root has no "." or "..".
  auto root = fileSystem.FindFirst("\\*.*", entry);
  ASSERT_TRUE(root);
  EXPECT_NE(entry.name, ".");
}

TEST_F(PosixFileSystemTest, EnumerationReportsFolderLinkAndReadOnlyBits) {
  tree.Write("in/plain", "x");
  tree.Write("in/locked", "x");
  tree.MakeReadOnly("in/locked");
  tree.MakeDir("in/real");
  fs::create_directory_symlink(tree.Path("in/real"), tree.Path("in/toFolder"));
  fs::create_symlink(tree.Path("in/plain"), tree.Path("in/toFile"));
  fs::create_symlink(tree.Path("in/nowhere"), tree.Path("in/dangling"));
  const uint32_t link = 0x400;  // FILE_ATTRIBUTE_REPARSE_POINT
  std::vector<std::pair<std::string, uint32_t>> expected = {
      {".", kFileAttributeDirectory},
      {"..", kFileAttributeDirectory},
      {"dangling", link},
      {"locked", kFileAttributeReadOnly},
      {"plain", 0},
      {"real", kFileAttributeDirectory},
      {"toFile", link},
      {"toFolder", link | kFileAttributeDirectory}};
  EXPECT_EQ(Enumerate("in"), expected);
  // A run's walk reads names and kinds only: a plain file's bit is left out.
  fileSystem.ListNamesAndKindsOnly();
  expected[3].second = 0;
  EXPECT_EQ(Enumerate("in"), expected);
}

TEST_F(PosixFileSystemTest, NamesHoldingBackslashesAreSkippedAndReported) {
  tree.Write("medium/good.dll", "x");
  tree.Write("medium/..\\..\\escape.dll", "x");
  tree.Write("medium/a\\b", "x");
  std::vector<std::pair<std::string, uint32_t>> expected = {
      {".", kFileAttributeDirectory}, {"..", kFileAttributeDirectory}, {"good.dll", 0}};
  EXPECT_EQ(Enumerate("MEDIUM"), expected);
  ASSERT_EQ(skipped.size(), 2u);
  std::set<std::string> names = {skipped[0].name, skipped[1].name};
  EXPECT_EQ(names, (std::set<std::string>{"..\\..\\escape.dll", "a\\b"}));
  EXPECT_EQ(skipped[0].folder, tree.Path("medium"));
  EXPECT_FALSE(skipped[0].reason.empty());
}

TEST_F(PosixFileSystemTest, EnumerationOfAFileOrANamelessPatternFails) {
  tree.Write("file", "x");
  tree.MakeDir("empty");
  FindData entry;
  EXPECT_FALSE(fileSystem.FindFirst(Win("file/*.*"), entry));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kPathNotFound);
  EXPECT_FALSE(fileSystem.FindFirst(Win("empty/nothing*"), entry));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kFileNotFound);
}

TEST_F(PosixFileSystemTest, CopyKeepsContentModeAndTimes) {
  tree.Write("src/lib.dll", std::string("bin\0ary", 7));
  tree.Write("src/locked.txt", "read only");
  chmod(tree.Path("src/lib.dll").c_str(), 0750);
  tree.MakeReadOnly("src/locked.txt");
  const struct timespec times[2] = {{981173106, 123456789}, {981172800, 987654321}};
  ASSERT_EQ(utimensat(AT_FDCWD, tree.Path("src/lib.dll").c_str(), times, 0), 0);
  tree.MakeDir("dst");

  ASSERT_TRUE(fileSystem.CopyOneFile(Win("SRC/LIB.DLL"), Win("dst/lib.dll"), true));
  EXPECT_EQ(fileSystem.LastCopySize(), 7u);
  ASSERT_TRUE(fileSystem.CopyOneFile(Win("src/locked.txt"), Win("dst/locked.txt"), true));
  struct stat copy {};  // before reading it, which may move its access time
  ASSERT_EQ(stat(tree.Path("dst/lib.dll").c_str(), &copy), 0);
  EXPECT_EQ(copy.st_mtim.tv_sec, times[1].tv_sec);
  EXPECT_EQ(copy.st_mtim.tv_nsec, times[1].tv_nsec);
  EXPECT_EQ(copy.st_atim.tv_sec, times[0].tv_sec);
  EXPECT_EQ(tree.Read("dst/lib.dll"), std::string("bin\0ary", 7));
  EXPECT_EQ(Mode("dst/lib.dll"), 0750u);
  EXPECT_TRUE(tree.IsReadOnly("dst/locked.txt"));
  EXPECT_EQ(OnDisk("dst"), (std::set<std::string>{"lib.dll", "locked.txt"}));
}

TEST_F(PosixFileSystemTest, CopyNeverReplacesAFileMadeAfterTheFolderWasRead) {
  tree.Write("src/a.txt", "new");
  tree.MakeDir("dst");
  ASSERT_TRUE(fileSystem.CopyOneFile(Win("src/a.txt"), Win("dst/b.txt"), true));
  tree.Write("dst/c.txt", "made elsewhere");
  EXPECT_FALSE(fileSystem.CopyOneFile(Win("src/a.txt"), Win("dst/c.txt"), true));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kFileExists);
  EXPECT_EQ(tree.Read("dst/c.txt"), "made elsewhere");
  // Without fail-if-exists a read-only file is still never replaced.
  tree.MakeReadOnly("dst/c.txt");
  EXPECT_FALSE(fileSystem.CopyOneFile(Win("src/a.txt"), Win("dst/C.TXT"), false));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kAccessDenied);
  EXPECT_EQ(tree.Read("dst/c.txt"), "made elsewhere");
  // A name asked about before a copy (as the kit check does), then copied in
  // another case: the next copy under the first spelling finds it.
  fileSystem.FullPath(Win("dst/x.txt"));
  ASSERT_TRUE(fileSystem.CopyOneFile(Win("src/a.txt"), Win("dst/X.TXT"), true));
  fileSystem.FullPath(Win("dst/x.txt"));
  EXPECT_FALSE(fileSystem.CopyOneFile(Win("src/a.txt"), Win("dst/x.txt"), true));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kFileExists);
}

TEST_F(PosixFileSystemTest, CopyOfAPipeIsRefusedWithoutHanging) {
  tree.MakeDir("dst");
  ASSERT_EQ(mkfifo(tree.Path("pipe").c_str(), 0644), 0);
  EXPECT_FALSE(fileSystem.CopyOneFile(Win("pipe"), Win("dst/x"), true));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kAccessDenied);
  EXPECT_TRUE(OnDisk("dst").empty());
}

TEST_F(PosixFileSystemTest, SetAttributesTogglesReadOnly) {
  tree.Write("Vok/SetupType.txt", "x");
  chmod(tree.Path("Vok/SetupType.txt").c_str(), 0664);
  EXPECT_TRUE(fileSystem.SetAttributes(Win("vok/setuptype.txt"), kFileAttributeReadOnly));
  EXPECT_EQ(Mode("Vok/SetupType.txt"), 0444u);
  EXPECT_TRUE(fileSystem.SetAttributes(Win("VOK/SETUPTYPE.TXT"), kFileAttributeNormal));
  EXPECT_EQ(Mode("Vok/SetupType.txt"), 0644u);
}

TEST_F(PosixFileSystemTest, RemoveTakesAFileLinkButNeverAFolderLink) {
  tree.Write("dll/plain.dll", "x");
  tree.MakeDir("dll/folder.dll");
  fs::create_directory_symlink(tree.Path("dll/folder.dll"), tree.Path("dll/toFolder.dll"));
  fs::create_symlink(tree.Path("dll/plain.dll"), tree.Path("dll/toFile.dll"));
  EXPECT_FALSE(fileSystem.RemoveFile(Win("dll/toFolder.dll")));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kAccessDenied);
  EXPECT_FALSE(fileSystem.RemoveFile(Win("nodll/plain.dll")));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kPathNotFound);
  EXPECT_TRUE(fileSystem.RemoveFile(Win("dll/TOFILE.dll")));  // the link, not its target
  EXPECT_TRUE(fileSystem.RemoveFile(Win("DLL/Plain.Dll")));
  EXPECT_EQ(OnDisk("dll"), (std::set<std::string>{"folder.dll", "toFolder.dll"}));

  // What we removed is gone for later calls too.
  FileInfo info;
  EXPECT_FALSE(fileSystem.GetInfo(Win("dll/plain.dll"), info));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kFileNotFound);
  tree.Write("src/plain.dll", "again");
  EXPECT_TRUE(fileSystem.CopyOneFile(Win("src/plain.dll"), Win("dll/PLAIN.DLL"), true));
}

TEST_F(PosixFileSystemTest, FullPathAndIdentityFollowLinks) {
  tree.Write("Real/file.bin", "12345");
  fs::create_directory_symlink(tree.Path("Real"), tree.Path("link"));
  std::string real = fs::canonical(tree.root()).string();
  EXPECT_EQ(fileSystem.FullPath(Win("LINK/FILE.BIN")), real + "/Real/file.bin");
  EXPECT_EQ(fileSystem.FullPath(Win("link/new/..")), real + "/Real/new/..");
  // A name the kernel would also give an unlinked folder, and a link that
  // leads nowhere (left as it is).
  tree.Write("Gone (deleted)/x.bin", "1");
  fs::create_symlink(tree.Path("nowhere"), tree.Path("dangling"));
  EXPECT_EQ(fileSystem.FullPath(Win("LINK/../gone (DELETED)/X.BIN")),
            real + "/Gone (deleted)/x.bin");
  EXPECT_EQ(fileSystem.FullPath(Win("dangling")), tree.Path("dangling"));

  fs::path before = fs::current_path();
  fs::current_path(tree.root());
  EXPECT_EQ(fileSystem.FullPath("real\\File.bin"), real + "/Real/file.bin");
  FileInfo info;
  EXPECT_TRUE(fileSystem.GetInfo("REAL/FILE.BIN", info));
  fs::current_path(before);
  EXPECT_EQ(info.size, 5u);
  EXPECT_FALSE(info.isDirectory);

  FolderId viaName, viaLink;
  ASSERT_TRUE(fileSystem.IdentifyFolder(Win("REAL"), viaName));
  ASSERT_TRUE(fileSystem.IdentifyFolder(Win("Link"), viaLink));
  EXPECT_EQ(viaName, viaLink);
  EXPECT_FALSE(fileSystem.IdentifyFolder(Win("real/file.bin"), viaName));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kDirectory);
  EXPECT_FALSE(fileSystem.IdentifyFolder(Win("absent"), viaName));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kFileNotFound);
  ASSERT_TRUE(fileSystem.GetInfo(Win("link"), info));
  EXPECT_TRUE(info.isDirectory);
}

// Every way of moving the data gives the same file: clone, copy_file_range,
// read/write, each behind an anonymous or a named temporary.
class PosixCopyPathTest : public ::testing::TestWithParam<PosixFileSystem::CopyOptions> {};

TEST_P(PosixCopyPathTest, CopiesLargeFilesExactly) {
  TempTree tree;
  std::string content(3 * 1024 * 1024 + 17, '\0');
  std::mt19937 random(7);
  for (char& c : content) c = static_cast<char>(random());
  tree.Write("src/big.bin", content);
  tree.Write("src/empty.bin", "");
  tree.MakeDir("dst");
  PosixFileSystem fileSystem(nullptr, GetParam());
  ASSERT_TRUE(
      fileSystem.CopyOneFile(tree.root() + "\\src\\big.bin", tree.root() + "\\dst\\big.bin", true));
  EXPECT_EQ(fileSystem.LastCopySize(), content.size());
  ASSERT_TRUE(fileSystem.CopyOneFile(tree.root() + "\\src\\empty.bin",
                                     tree.root() + "\\dst\\empty.bin", true));
  EXPECT_EQ(fileSystem.LastCopySize(), 0u);
  EXPECT_TRUE(tree.Read("dst/big.bin") == content);
  EXPECT_EQ(tree.Read("dst/empty.bin"), "");
  EXPECT_EQ(tree.Snapshot("dst").size(), 2u);  // no temporary left behind
}

INSTANTIATE_TEST_SUITE_P(Ways, PosixCopyPathTest,
                         ::testing::Values(PosixFileSystem::CopyOptions{true, true, true},
                                           PosixFileSystem::CopyOptions{true, false, true},
                                           PosixFileSystem::CopyOptions{true, false, false},
                                           PosixFileSystem::CopyOptions{false, false, true},
                                           PosixFileSystem::CopyOptions{false, false, false}));

// A full disk: the copy fails with 112 and nothing stays behind, neither
// under the final name nor as a temporary.
class PosixFullDiskTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    tree.MakeDir("small");
    if (mount("tmpfs", tree.Path("small").c_str(), "tmpfs", 0, "size=1m") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    mounted = true;
  }
  void TearDown() override {
    if (mounted) umount2(tree.Path("small").c_str(), MNT_DETACH);
  }
  TempTree tree;
  bool mounted = false;
};

TEST_P(PosixFullDiskTest, LeavesNothingBehind) {
  tree.Write("src/big.bin", std::string(2 * 1024 * 1024, 'x'));
  tree.Write("src/small.txt", "fits");
  PosixFileSystem::CopyOptions options;
  options.anonymousTemporary = GetParam();
  PosixFileSystem fileSystem(nullptr, options);
  EXPECT_FALSE(fileSystem.CopyOneFile(tree.root() + "\\src\\big.bin",
                                      tree.root() + "\\small\\big.bin", true));
  EXPECT_EQ(fileSystem.LastError(), win32_error::kDiskFull);
  EXPECT_TRUE(tree.Snapshot("small").empty());
  // The space came back: the next copy fits.
  EXPECT_TRUE(fileSystem.CopyOneFile(tree.root() + "\\src\\small.txt",
                                     tree.root() + "\\small\\small.txt", true));
  EXPECT_EQ(tree.Snapshot("small"), (std::map<std::string, std::string>{{"small.txt", "fits"}}));
}

INSTANTIATE_TEST_SUITE_P(Temporaries, PosixFullDiskTest, ::testing::Bool());

}  // namespace
}  // namespace vostrel::posix
