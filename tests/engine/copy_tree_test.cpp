// The folder copier on real folders: what it copies, where a walk stops, and
// the guards that keep every walk finite and inside the destination.
#ifndef _WIN32
#include <unistd.h>
#endif

#include "engine/forwarding_file_system.h"
#include "engine/recording_file_system.h"
#include "engine/steps.h"
#include "tests/engine/engine_fixture.h"

namespace vostrel::testing {
namespace {

class CopyTreeTest : public EngineTest {
 protected:
  unsigned long Copy(const std::string& from, const std::string& to, bool recursive,
                     FileSystem* through = nullptr, bool resume = false) {
    RunResultBuilder result(feedback);
    RunContext run{through ? *through : *fs,
                   feedback,
                   result,
                   tree.Path("src"),
                   tree.Path("dst"),
                   KitSelection{},
                   false,
                   FolderId{},
                   "",
                   resume};
    run.haveDestId = run.fs.IdentifyFolder(run.destRoot, run.destId);
    run.destFullPath = run.fs.FullPath(run.destRoot);
    return CopyTree(run, tree.Path(from), tree.Path(to), recursive);
  }
};

TEST_F(CopyTreeTest, SkipsEveryDottedNameAndCopiesTheRest) {
  tree.Write("src/.config", "hidden");
  tree.Write("src/.cache/x", "hidden");
  tree.Write("src/a.dll", "a");
  tree.MakeDir("dst");
  EXPECT_EQ(Copy("src", "dst", true), 0u);
  EXPECT_EQ(tree.Snapshot("dst"), (std::map<std::string, std::string>{{"a.dll", "a"}}));
}

TEST_F(CopyTreeTest, FolderWithoutEntriesOrMissingOrAFileCopiesNothing) {
  tree.MakeDir("src");
  tree.MakeDir("dst");
  tree.Write("file.txt", "x");
  EXPECT_EQ(Copy("src", "dst", true), 0u);
  EXPECT_EQ(Copy("missing", "dst", true), 0u);
  EXPECT_EQ(Copy("file.txt", "dst", true), 0u);
  EXPECT_TRUE(tree.Snapshot("dst").empty());
}

TEST_F(CopyTreeTest, NotRecursiveCopiesOnlyTheFolderOwnFiles) {
  tree.Write("src/top.txt", "top");
  tree.Write("src/sub/inner.txt", "inner");
  tree.MakeDir("dst");
  EXPECT_EQ(Copy("src", "dst", false), 0u);
  EXPECT_EQ(tree.Snapshot("dst"), (std::map<std::string, std::string>{{"top.txt", "top"}}));
}

TEST_F(CopyTreeTest, RecursiveCreatesEachFolderBeforeItsContent) {
  tree.Write("src/a/b/c/deep.txt", "deep");
  tree.Write("src/a/mid.txt", "mid");
  tree.MakeDir("dst");
  RecordingFileSystem recorder(*fs);
  EXPECT_EQ(Copy("src", "dst", true, &recorder), 0u);
  EXPECT_EQ(tree.Read("dst/a/b/c/deep.txt"), "deep");
  EXPECT_EQ(tree.Read("dst/a/mid.txt"), "mid");
  std::vector<std::string> writes;
  for (const Operation& operation : recorder.operations()) {
    if (operation.kind == OperationKind::kCreateFolder) writes.push_back("mkdir " + operation.path);
    if (operation.kind == OperationKind::kCopyFile) writes.push_back("copy " + operation.target);
  }
  const std::string dst = tree.Path("dst");
  EXPECT_EQ(writes,
            (std::vector<std::string>{
                "mkdir " + dst + "\\a", "mkdir " + dst + "\\a\\b", "mkdir " + dst + "\\a\\b\\c",
                "copy " + dst + "\\a\\b\\c\\deep.txt", "copy " + dst + "\\a\\mid.txt"}));
}

TEST_F(CopyTreeTest, ExistingFileEndsOnlyThatFolderWalkAndKeepsItsContent) {
  // Entries come in NTFS order: a.txt, b.txt, c.txt, then the folders.
  tree.Write("src/a.txt", "new a");
  tree.Write("src/b.txt", "new b");
  tree.Write("src/c.txt", "new c");
  tree.Write("src/sub/x.txt", "x");
  tree.Write("src/zsub/y.txt", "y");
  tree.Write("dst/b.txt", "old b");
  EXPECT_EQ(Copy("src", "dst", true), 80u);
  EXPECT_EQ(tree.Read("dst/a.txt"), "new a");
  EXPECT_EQ(tree.Read("dst/b.txt"), "old b");
  EXPECT_FALSE(tree.Exists("dst/c.txt"));
  EXPECT_FALSE(tree.Exists("dst/sub"));
  ASSERT_EQ(feedback.walkStops.size(), 1u);
  EXPECT_EQ(feedback.walkStops[0].second, 80u);
}

TEST_F(CopyTreeTest, ResumeKeepsPresentFilesAndCopiesTheRest) {
  tree.Write("src/a.txt", "new a");
  tree.Write("src/b.txt", "new b");
  tree.Write("src/c.txt", "new c");
  tree.Write("dst/b.txt", "old b");
  EXPECT_EQ(Copy("src", "dst", true, nullptr, /*resume=*/true), 0u);
  EXPECT_EQ(tree.Read("dst/b.txt"), "old b");
  EXPECT_EQ(tree.Read("dst/c.txt"), "new c");
  EXPECT_TRUE(feedback.walkStops.empty());
}

TEST_F(CopyTreeTest, FailureBelowNeverEndsTheLevelAbove) {
  tree.Write("src/one/a.txt", "a");
  tree.Write("src/two/b.txt", "b");
  tree.Write("dst/one/a.txt", "old");
  EXPECT_EQ(Copy("src", "dst", true), 0u);
  EXPECT_EQ(tree.Read("dst/two/b.txt"), "b");
  EXPECT_EQ(tree.Read("dst/one/a.txt"), "old");
}

TEST_F(CopyTreeTest, SecondCopyChangesNothing) {
  tree.Write("src/f.txt", "f");
  tree.Write("src/sub/g.txt", "g");
  tree.Write("onlyfolders/sub/g.txt", "g");
  tree.MakeDir("dst");
  tree.MakeDir("dst2");
  EXPECT_EQ(Copy("src", "dst", true), 0u);
  auto before = tree.Snapshot("dst");
  EXPECT_EQ(Copy("src", "dst", true), 80u);
  EXPECT_EQ(tree.Snapshot("dst"), before);
  EXPECT_EQ(Copy("onlyfolders", "dst2", true), 0u);
  EXPECT_EQ(Copy("onlyfolders", "dst2", true), 0u);
}

TEST_F(CopyTreeTest, ReadOnlyFileGivesReadOnlyCopy) {
  tree.Write("src/ro.dll", "ro");
  tree.MakeReadOnly("src/ro.dll");
  tree.MakeDir("dst");
  EXPECT_EQ(Copy("src", "dst", true), 0u);
  EXPECT_TRUE(tree.IsReadOnly("dst/ro.dll"));
  EXPECT_EQ(tree.Read("dst/ro.dll"), "ro");
}

TEST_F(CopyTreeTest, MissingDestinationFolderFailsWithPathNotFound) {
  tree.Write("src/a.txt", "a");
  EXPECT_EQ(Copy("src", "nowhere", true), 3u);
}

// Ends an enumeration with a device error after a number of entries, as a
// scratched disc does half-way through a folder.
class FailingEnumerationFileSystem : public ForwardingFileSystem {
 public:
  FailingEnumerationFileSystem(FileSystem& inner, int entriesBeforeFailure)
      : ForwardingFileSystem(inner), remaining_(entriesBeforeFailure) {}

  std::unique_ptr<FolderEnumeration> FindFirst(const std::string& pattern,
                                               FindData& first) override {
    auto inner = ForwardingFileSystem::FindFirst(pattern, first);
    if (!inner) return nullptr;
    return std::make_unique<Failing>(*this, std::move(inner));
  }
  unsigned long LastError() const override {
    return failed_ ? 21 : ForwardingFileSystem::LastError();
  }

 private:
  class Failing : public FolderEnumeration {
   public:
    Failing(FailingEnumerationFileSystem& owner, std::unique_ptr<FolderEnumeration> inner)
        : owner_(owner), inner_(std::move(inner)) {}
    bool Next(FindData& entry) override {
      owner_.failed_ = false;
      if (--owner_.remaining_ <= 0) {
        owner_.failed_ = true;
        return false;
      }
      return inner_->Next(entry);
    }

   private:
    FailingEnumerationFileSystem& owner_;
    std::unique_ptr<FolderEnumeration> inner_;
  };

  int remaining_;
  bool failed_ = false;
};

TEST_F(CopyTreeTest, EnumerationEndingWithAnotherErrorReturnsThatError) {
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
    tree.Write(std::string("src/") + name, name);
  }
  tree.MakeDir("dst");
  // ".", "..", a.txt, b.txt are yielded, then the device fails.
  FailingEnumerationFileSystem failing(*fs, 4);
  EXPECT_EQ(Copy("src", "dst", true, &failing), 21u);
  EXPECT_TRUE(tree.Exists("dst/b.txt"));
  EXPECT_FALSE(tree.Exists("dst/c.txt"));
  ASSERT_EQ(feedback.walkStops.size(), 1u);
  EXPECT_EQ(feedback.walkStops[0].second, 21u);
}

TEST_F(CopyTreeTest, NeverCopiesTheDestinationIntoItself) {
  // The kit is being built inside the very folder the walk copies.
  tree.Write("src/lib.dll", "lib");
  tree.MakeDir("src/kit");
  RunResultBuilder result(feedback);
  RunContext run{
      *fs,        feedback, result, tree.Path("src"), tree.Path("src/kit"), KitSelection{}, false,
      FolderId{}, "",       false};
  run.haveDestId = fs->IdentifyFolder(run.destRoot, run.destId);
  tree.MakeDir("src/kit/copy");
  EXPECT_EQ(CopyTree(run, tree.Path("src"), tree.Path("src/kit/copy"), true), 0u);
  EXPECT_EQ(tree.Read("src/kit/copy/lib.dll"), "lib");
  EXPECT_FALSE(tree.Exists("src/kit/copy/kit"));
  EXPECT_FALSE(feedback.skipped.empty());
}

#ifndef _WIN32
// Links are made with the POSIX call; the Windows build has no such medium.
TEST_F(CopyTreeTest, LinkLoopIsEnteredOnce) {
  tree.Write("src/a/file.txt", "f");
  ASSERT_EQ(symlink("..", tree.Path("src/a/loop").c_str()), 0);
  tree.MakeDir("dst");
  EXPECT_EQ(Copy("src", "dst", true), 0u);
  EXPECT_EQ(tree.Read("dst/a/file.txt"), "f");
  EXPECT_FALSE(tree.Exists("dst/a/loop/a"));
  EXPECT_EQ(feedback.skipped.size(), 1u);
}

TEST_F(CopyTreeTest, LinksLeadingOutsideTheMediumAreLeftOutAndSaidSo) {
  tree.Write("elsewhere/secret.txt", "secret");
  tree.Write("src/kept.txt", "kept");
  tree.Write("src/inner/x.txt", "x");
  ASSERT_EQ(symlink(tree.Path("elsewhere").c_str(), tree.Path("src/folder-out").c_str()), 0);
  ASSERT_EQ(symlink(tree.Path("elsewhere/secret.txt").c_str(), tree.Path("src/file-out").c_str()),
            0);
  ASSERT_EQ(symlink("inner", tree.Path("src/folder-in").c_str()), 0);
  tree.MakeDir("dst");
  EXPECT_EQ(Copy("src", "dst", true), 0u);
  EXPECT_EQ(tree.Read("dst/kept.txt"), "kept");
  EXPECT_EQ(tree.Read("dst/folder-in/x.txt"), "x");  // a link within the medium is followed
  EXPECT_FALSE(tree.Exists("dst/folder-out"));
  EXPECT_FALSE(tree.Exists("dst/file-out"));
  EXPECT_EQ(feedback.leftOut.size(), 2u);
}

TEST_F(CopyTreeTest, LinkIntoTheDestinationIsNotFollowed) {
  tree.Write("dst/existing/kit.txt", "kit");
  tree.Write("src/file.txt", "f");
  ASSERT_EQ(symlink(tree.Path("dst/existing").c_str(), tree.Path("src/link").c_str()), 0);
  tree.MakeDir("dst/out");
  EXPECT_EQ(Copy("src", "dst/out", true), 0u);
  EXPECT_EQ(tree.Read("dst/out/file.txt"), "f");
  EXPECT_FALSE(tree.Exists("dst/out/link/kit.txt"));
}

#endif

}  // namespace
}  // namespace vostrel::testing
