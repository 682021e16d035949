// The pending file's contract, unnamed and under a hidden temporary name:
// nothing under the final name until placed, nothing at all once dropped, no
// existing name taken by a no-replace placing, the mode and times given kept.
#include "platform/posix/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/temp_tree.h"

namespace vostrel::posix {
namespace {

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
    EXPECT_EQ(GetParam() ? 0u : 1u, tree_.Snapshot().size());  // a hidden name at most
  }
  EXPECT_TRUE(tree_.Snapshot().empty());

  PendingFile file;
  Start(file, "whole");
  const struct timespec times[2] = {{1000000000, 0}, {1200000000, 0}};
  ASSERT_EQ(0, fchmod(file.fd(), 0444));
  ASSERT_EQ(0, futimens(file.fd(), times));
  ASSERT_EQ(0, file.Flush());
  EXPECT_FALSE(tree_.Exists("copy.dat"));
  ASSERT_EQ(0, file.Place("copy.dat"));
  EXPECT_EQ((std::map<std::string, std::string>{{"copy.dat", "whole"}}), tree_.Snapshot());
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
  EXPECT_EQ((std::map<std::string, std::string>{{"report.txt", "new"}}), tree_.Snapshot());
}

INSTANTIATE_TEST_SUITE_P(UnnamedAndNamed, PendingFileTest, ::testing::Bool());

}  // namespace
}  // namespace vostrel::posix
