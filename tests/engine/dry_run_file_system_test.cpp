#include "engine/dry_run_file_system.h"

#include <gtest/gtest.h>

#include "platform/native.h"
#include "tests/support/listing.h"
#include "tests/support/temp_tree.h"

namespace vostrel {
namespace {

using testing::Listing;
using testing::TempTree;

class DryRunTest : public ::testing::Test {
 protected:
  DryRunTest() : disk_(platform::MakeNativeFileSystem()), dry_(*disk_) {
    tree_.Write("src/a.txt", "12345");
    tree_.Write("src/ReadOnly.txt", "ro");
    tree_.MakeReadOnly("src/ReadOnly.txt");
    tree_.Write("dst/Existing.txt", "old");
    dry_.SetChangeObserver([this](const Operation& change) { changes_.push_back(change); });
    before_ = tree_.Snapshot();
  }

  // The engine's form: a root followed by '\' and names.
  std::string P(const std::string& relative) const { return tree_.root() + "\\" + relative; }

  std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const FindData& entry : Listing(dry_, P(folder))) {
      if (entry.name != "." && entry.name != "..") names.push_back(entry.name);
    }
    return names;
  }

  TempTree tree_;
  std::unique_ptr<FileSystem> disk_;
  DryRunFileSystem dry_;
  std::vector<Operation> changes_;
  std::map<std::string, std::string> before_;
};

// The rules the disk would apply are checked for every file system in
// tests/contract; here, what only the dry run does.
TEST_F(DryRunTest, FoldersStayInMemoryWithIdentitiesOfTheirOwn) {
  EXPECT_TRUE(dry_.CreateFolder(P("new")));
  EXPECT_TRUE(dry_.CreateFolder(P("NEW\\deeper")));
  EXPECT_FALSE(dry_.CreateFolder(P("DST")));  // on disk already: no change
  FolderId a, b;
  ASSERT_TRUE(dry_.IdentifyFolder(P("new"), a));
  ASSERT_TRUE(dry_.IdentifyFolder(P("new\\deeper"), b));
  EXPECT_NE(a, b);

  ASSERT_EQ(changes_.size(), 2u);
  EXPECT_EQ(changes_[1].kind, OperationKind::kCreateFolder);
  EXPECT_EQ(changes_[1].path, P("NEW\\deeper"));
  EXPECT_EQ(tree_.Snapshot(), before_);
}

TEST_F(DryRunTest, EveryChangeIsObservedInOrderAndNoneReachesTheDisk) {
  EXPECT_FALSE(dry_.CopyOneFile(P("src\\missing.txt"), P("dst\\m.txt"), true));
  ASSERT_TRUE(dry_.CopyOneFile(P("src\\a.txt"), P("dst\\a.txt"), true));
  ASSERT_TRUE(dry_.CopyOneFile(P("src\\ReadOnly.txt"), P("dst\\ReadOnly.txt"), true));
  EXPECT_FALSE(dry_.RemoveFile(P("dst\\ReadOnly.txt")));
  ASSERT_TRUE(dry_.SetAttributes(P("dst\\ReadOnly.txt"), kFileAttributeNormal));
  EXPECT_TRUE(dry_.WriteProfileEntry("S", "K", "V", P("dst\\ReadOnly.txt")));
  EXPECT_TRUE(dry_.RemoveFile(P("dst\\ReadOnly.txt")));

  std::vector<OperationKind> kinds;
  for (const Operation& change : changes_) kinds.push_back(change.kind);
  EXPECT_EQ(kinds,
            (std::vector<OperationKind>{OperationKind::kCopyFile, OperationKind::kCopyFile,
                                        OperationKind::kSetAttributes, OperationKind::kWriteProfile,
                                        OperationKind::kRemoveFile}));
  EXPECT_EQ(changes_[0].bytes, 5u);
  EXPECT_EQ(tree_.Snapshot(), before_);
}

TEST_F(DryRunTest, ListingsShowWhatTheRunMadeAndHideWhatItRemoved) {
  ASSERT_TRUE(dry_.CopyOneFile(P("src\\a.txt"), P("dst\\b.txt"), true));
  ASSERT_TRUE(dry_.CreateFolder(P("dst\\Zeta")));
  ASSERT_TRUE(dry_.CopyOneFile(P("src\\a.txt"), P("dst\\Zeta\\inner.txt"), true));
  EXPECT_EQ(Names("dst"), (std::vector<std::string>{"b.txt", "Existing.txt", "Zeta"}));
  EXPECT_EQ(Names("dst\\zeta"), std::vector<std::string>{"inner.txt"});

  ASSERT_TRUE(dry_.RemoveFile(P("dst\\existing.txt")));
  EXPECT_EQ(Names("dst"), (std::vector<std::string>{"b.txt", "Zeta"}));
  FileInfo info;
  EXPECT_FALSE(dry_.GetInfo(P("dst\\Existing.txt"), info));
  // Removed from the disk's view, so it may be copied again.
  EXPECT_TRUE(dry_.CopyOneFile(P("src\\a.txt"), P("dst\\Existing.txt"), true));
  EXPECT_EQ(tree_.Snapshot(), before_);
}

TEST_F(DryRunTest, PretendEmptyFolderHidesWhatTheDiskHoldsThere) {
  dry_.PretendEmptyFolder(P("dst"));
  EXPECT_TRUE(Names("dst").empty());
  EXPECT_TRUE(dry_.CopyOneFile(P("src\\a.txt"), P("dst\\Existing.txt"), true));
  FileInfo info;
  EXPECT_TRUE(dry_.GetInfo(P("src\\a.txt"), info));  // the rest of the disk is as it is
}

}  // namespace
}  // namespace vostrel
