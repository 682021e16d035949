#include "platform/posix/profile_writer.h"

#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/whole_file.h"
#include "tests/support/temp_tree.h"

namespace vostrel::posix {
namespace {

using testing::TempTree;

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(0, stat(path.c_str(), &info)) << path;
  return info.st_mode & 07777;
}

// --- Files on disk --------------------------------------------------------------

TEST(ProfileFile, EditsAnExistingFileByReplacingItWholeAndKeepsItsMode) {
  TempTree tree;
  tree.Write("Vok/SetupType.txt", "[PRODUCT]\r\nKRT=Y\r\n");
  const std::string path = tree.Path("Vok/SetupType.txt");
  ASSERT_EQ(0, chmod(path.c_str(), 0640));
  // A second name for the old file shows it was replaced, not rewritten.
  ASSERT_EQ(0, link(path.c_str(), tree.Path("Vok/old").c_str()));

  unsigned long error = 99;
  ASSERT_TRUE(WriteProfileFile(path, "PRODUCT", "KRT", "N", error));
  EXPECT_EQ(0u, error);
  EXPECT_EQ("[PRODUCT]\r\nKRT=N\r\n", tree.Read("Vok/SetupType.txt"));
  EXPECT_EQ("[PRODUCT]\r\nKRT=Y\r\n", tree.Read("Vok/old"));
  EXPECT_EQ(0640u, ModeOf(path));
  EXPECT_EQ((std::vector<std::string>{"SetupType.txt", "old"}), Entries(tree.Path("Vok")));

  // Writing what the file already holds succeeds too.
  ASSERT_TRUE(WriteProfileFile(path, "product", "krt", "N", error));
  EXPECT_EQ("[PRODUCT]\r\nKRT=N\r\n", tree.Read("Vok/SetupType.txt"));
}

TEST(ProfileFile, CreatesAMissingFileWithTheUmasksMode) {
  TempTree tree;
  tree.MakeDir("Vok");
  const mode_t saved = umask(027);
  unsigned long error = 99;
  const bool written =
      WriteProfileFile(tree.Path("Vok/SetupType.txt"), "PRODUCT", "VokDevelopment", "N", error);
  umask(saved);
  ASSERT_TRUE(written);
  EXPECT_EQ("[PRODUCT]\r\nVokDevelopment=N\r\n", tree.Read("Vok/SetupType.txt"));
  EXPECT_EQ(0640u, ModeOf(tree.Path("Vok/SetupType.txt")));
  EXPECT_EQ(std::vector<std::string>{"SetupType.txt"}, Entries(tree.Path("Vok")));
}

TEST(ProfileFile, RefusesAReadOnlyFileAndChangesNothing) {
  TempTree tree;
  tree.Write("SetupType.txt", "[PRODUCT]\nKRT=Y\n");
  tree.MakeReadOnly("SetupType.txt");
  const mode_t mode = ModeOf(tree.Path("SetupType.txt"));
  unsigned long error = 0;
  EXPECT_FALSE(WriteProfileFile(tree.Path("SetupType.txt"), "PRODUCT", "KRT", "N", error));
  EXPECT_EQ(5u, error);
  EXPECT_EQ("[PRODUCT]\nKRT=Y\n", tree.Read("SetupType.txt"));
  EXPECT_EQ(mode, ModeOf(tree.Path("SetupType.txt")));
  EXPECT_EQ(std::vector<std::string>{"SetupType.txt"}, Entries(tree.root()));
}

TEST(ProfileFile, MissingFolderGivesPathNotFound) {
  TempTree tree;
  tree.Write("file", "x");
  unsigned long error = 0;
  EXPECT_FALSE(WriteProfileFile(tree.Path("Vok/SetupType.txt"), "S", "K", "V", error));
  EXPECT_EQ(3u, error);
  EXPECT_FALSE(WriteProfileFile(tree.Path("file/SetupType.txt"), "S", "K", "V", error));
  EXPECT_EQ(3u, error);
  EXPECT_EQ(std::vector<std::string>{"file"}, Entries(tree.root()));
  EXPECT_EQ("x", tree.Read("file"));
}

TEST(ProfileFile, RefusesWhatIsNotAPlainFile) {
  TempTree tree;
  tree.MakeDir("Vok/SetupType.txt");
  tree.Write("outside.txt", "[S]\nK=1\n");
  ASSERT_EQ(0, symlink(tree.Path("outside.txt").c_str(), tree.Path("link.txt").c_str()));
  ASSERT_EQ(0, mkfifo(tree.Path("pipe.txt").c_str(), 0644));

  for (const std::string name : {"Vok/SetupType.txt", "link.txt", "pipe.txt"}) {
    unsigned long error = 0;
    EXPECT_FALSE(WriteProfileFile(tree.Path(name), "S", "K", "2", error)) << name;
    EXPECT_EQ(5u, error) << name;
  }
  EXPECT_EQ("[S]\nK=1\n", tree.Read("outside.txt"));
  EXPECT_TRUE(tree.Snapshot("Vok/SetupType.txt").empty());
}

TEST(ProfileFile, RefusesAnEntryThatWouldBreakTheFile) {
  TempTree tree;
  tree.Write("SetupType.txt", "[S]\nK=1\n");
  unsigned long error = 0;
  EXPECT_FALSE(WriteProfileFile(tree.Path("SetupType.txt"), "S", "K", "2\n[T]", error));
  EXPECT_EQ(87u, error);
  EXPECT_EQ("[S]\nK=1\n", tree.Read("SetupType.txt"));
}

// --- Whole-file writes -----------------------------------------------------------

TEST(WholeFile, TemporaryNamesAreRecognisedAndNothingElse) {
  const std::string made = platform::TemporaryName();
  EXPECT_TRUE(platform::IsTemporaryName(made)) << made;
  EXPECT_NE(made, platform::TemporaryName());
  for (const auto& [name, temporary] :
       std::vector<std::pair<std::string, bool>>{{".vostrel-copy-Ab12Cd", true},
                                                 {".vostrel-copy-ZZ9zz9", true},
                                                 {".SetupType.txt.0a1b2c3d.tmp", true},
                                                 {".x.abcdefgh.tmp", true},
                                                 {".vostrel-copy-short", false},
                                                 {".vostrel-copy-Ab12C_", false},
                                                 {".vostrel-copy-Ab12Cde", false},
                                                 {"vostrel-copy-Ab12Cd", false},
                                                 {".keep", false},
                                                 {"notes.0a1b2c3d.tmp", false},
                                                 {"..0a1b2c3d.tmp", false},
                                                 {".x.0a1b2c3.tmp", false},
                                                 {".x.0a1b-c3d.tmp", false},
                                                 {".x.0a1b2c3d.tmpx", false}}) {
    EXPECT_EQ(temporary, platform::IsTemporaryName(name)) << name;
  }
}

TEST(WholeFile, IsInPlaceOnlyWhenCommittedAndLeavesNothingOtherwise) {
  TempTree tree;
  tree.Write("out/report.json", "old");
  const std::string path = tree.Path("out/report.json");
  std::string error;
  {
    std::unique_ptr<platform::WholeFile> abandoned = platform::BeginWholeFile(path, error);
    ASSERT_NE(nullptr, abandoned) << error;
    ASSERT_TRUE(abandoned->Write("new", 3, error)) << error;
  }
  EXPECT_EQ("old", tree.Read("out/report.json"));
  EXPECT_EQ(std::vector<std::string>{"report.json"}, Entries(tree.Path("out")));

  const mode_t saved = umask(027);
  const bool written = platform::WriteWholeFile(path, "new", error);
  umask(saved);
  ASSERT_TRUE(written) << error;
  EXPECT_EQ("new", tree.Read("out/report.json"));
  EXPECT_EQ(0640u, ModeOf(path));
  EXPECT_EQ(std::vector<std::string>{"report.json"}, Entries(tree.Path("out")));

  EXPECT_FALSE(platform::WriteWholeFile(tree.Path("missing/report.json"), "new", error));
  EXPECT_EQ(std::strerror(ENOENT), error);
}

// A small tmpfs, to fill up and to make read-only. Needs the right to mount;
// skipped without it.
class ProfileFileOnSmallDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.MakeDir("disk");
    disk_ = tree_.Path("disk");
    if (mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=64k") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) umount2(disk_.c_str(), MNT_DETACH);
  }

  TempTree tree_;
  std::string disk_;
  bool mounted_ = false;
};

TEST_F(ProfileFileOnSmallDisk, FullDiskGivesDiskFullAndLosesNothing) {
  const std::string path = disk_ + "/SetupType.txt";
  const std::string content = "[PRODUCT]\r\nKRT=Y\r\n";
  tree_.Write("disk/SetupType.txt", content);
  FILE* filler = std::fopen((disk_ + "/filler").c_str(), "wb");
  ASSERT_NE(nullptr, filler);
  const std::string block(4096, 'x');
  while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
         std::fflush(filler) == 0) {
  }
  std::fclose(filler);

  unsigned long error = 0;
  EXPECT_FALSE(WriteProfileFile(path, "SELECTED", "Framory", "N", error));
  EXPECT_EQ(112u, error);
  EXPECT_EQ(content, tree_.Read("disk/SetupType.txt"));
  EXPECT_EQ((std::vector<std::string>{"SetupType.txt", "filler"}), Entries(disk_));

  EXPECT_FALSE(WriteProfileFile(disk_ + "/New.txt", "S", "K", "V", error));
  EXPECT_EQ(112u, error);
  std::string message;
  EXPECT_FALSE(platform::WriteWholeFile(disk_ + "/SetupType.txt", block, message));
  EXPECT_EQ(std::strerror(ENOSPC), message);
  EXPECT_EQ(content, tree_.Read("disk/SetupType.txt"));
  EXPECT_EQ((std::vector<std::string>{"SetupType.txt", "filler"}), Entries(disk_));
}

TEST_F(ProfileFileOnSmallDisk, ReadOnlyFileSystemGivesAccessDenied) {
  tree_.Write("disk/SetupType.txt", "[PRODUCT]\r\nKRT=Y\r\n");
  ASSERT_EQ(0, mount("tmpfs", disk_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k"));
  unsigned long error = 0;
  EXPECT_FALSE(WriteProfileFile(disk_ + "/SetupType.txt", "PRODUCT", "KRT", "N", error));
  EXPECT_EQ(5u, error);
  std::string message;
  EXPECT_EQ(nullptr, platform::BeginWholeFile(disk_ + "/SetupType.txt", message));
  EXPECT_EQ(std::strerror(EROFS), message);
  EXPECT_EQ("[PRODUCT]\r\nKRT=Y\r\n", tree_.Read("disk/SetupType.txt"));
}

}  // namespace
}  // namespace vostrel::posix
