// The pending file's contract, unnamed and under a hidden temporary name:
// nothing under the final name until placed, nothing at all once dropped, no
// existing name taken by a no-replace placing, the mode and times given kept.
#include "platform/posix/pending_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_tree.h"

namespace vostrel::posix {
namespace {

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

class PendingFileTest : public ::testing::TestWithParam<bool> {
 protected:
  // A pending file holding `content` in the tree's root, unnamed or not.
  void Start(PendingFile& file, const std::string& content) {
    const int error = GetParam() ? file.CreateUnnamed(AT_FDCWD, tree_.root(), 0600)
                                 : file.CreateNamed(tree_.root(), 0600);
    ASSERT_EQ(0, error);
    ASSERT_EQ(GetParam(), file.Unnamed());
    ASSERT_TRUE(WriteAll(file.fd(), content.data(), content.size()));
  }

  testing::TempTree tree_;
};

TEST_P(PendingFileTest, StandsUnderItsNameOnlyOncePlacedAndLeavesNothingWhenDropped) {
  {
    PendingFile dropped;
    Start(dropped, "partial");
    EXPECT_EQ(GetParam() ? 0u : 1u, Entries(tree_.root()).size());  // a hidden name at most
  }
  EXPECT_TRUE(Entries(tree_.root()).empty());

  PendingFile file;
  Start(file, "whole");
  const struct timespec times[2] = {{1000000000, 0}, {1200000000, 0}};
  ASSERT_EQ(0, fchmod(file.fd(), 0444));
  ASSERT_EQ(0, futimens(file.fd(), times));
  ASSERT_EQ(0, file.Flush());
  EXPECT_FALSE(tree_.Exists("copy.dat"));
  ASSERT_EQ(0, file.Place("copy.dat"));
  EXPECT_EQ(std::vector<std::string>{"copy.dat"}, Entries(tree_.root()));
  EXPECT_EQ("whole", tree_.Read("copy.dat"));
  struct stat status {};
  ASSERT_EQ(0, stat(tree_.Path("copy.dat").c_str(), &status));
  EXPECT_EQ(0444u, status.st_mode & 07777);
  EXPECT_EQ(1200000000, status.st_mtim.tv_sec);
}

TEST_P(PendingFileTest, PlacingNeverTakesAnExistingNameAndReplacingDoes) {
  tree_.Write("report.txt", "old");
  PendingFile file;
  Start(file, "new");
  EXPECT_EQ(EEXIST, file.Place("report.txt"));
  EXPECT_EQ("old", tree_.Read("report.txt"));
  ASSERT_EQ(0, file.Replace("report.txt"));
  EXPECT_EQ("new", tree_.Read("report.txt"));
  EXPECT_EQ(std::vector<std::string>{"report.txt"}, Entries(tree_.root()));
}

INSTANTIATE_TEST_SUITE_P(UnnamedAndNamed, PendingFileTest, ::testing::Bool());

}  // namespace
}  // namespace vostrel::posix
