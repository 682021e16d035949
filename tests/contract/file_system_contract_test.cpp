// The Win32 rules the engine relies on, checked once against every
// FileSystem: the platform's own (POSIX on Linux, kernel32 on Windows), the
// dry run over it and the recording wrapper over it. Everything is observed
// through the FileSystem itself, as the dry run writes nothing to disk.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "engine/dry_run_file_system.h"
#include "engine/folder_creation.h"
#include "engine/recording_file_system.h"
#include "platform/native.h"
#include "tests/support/listing.h"
#include "tests/support/temp_tree.h"

namespace vostrel {
namespace {

using testing::Listing;
using testing::TempTree;
namespace code = win32_error;

struct Subject {
  const char* name;
  // Wraps the platform's file system; null for the platform's own.
  std::function<std::unique_ptr<FileSystem>(FileSystem& disk)> wrap;
};

#ifdef _WIN32
constexpr const char* kPlatform = "Win32";
#else
constexpr const char* kPlatform = "Posix";
#endif

void PrintTo(const Subject& subject, std::ostream* out) { *out << subject.name << kPlatform; }

class FileSystemContract : public ::testing::TestWithParam<Subject> {
 protected:
  FileSystemContract() : disk_(platform::MakeNativeFileSystem()) {
    if (GetParam().wrap) wrapper_ = GetParam().wrap(*disk_);
  }

  FileSystem& fs() { return wrapper_ ? *wrapper_ : *disk_; }

  // The engine's form of a path in the tree: the root, then '\' and names.
  std::string P(const std::string& relative) const {
    std::string path = tree.root() + "\\" + relative;
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
  }

  // 0 for a call that succeeded, else the code it left.
  unsigned long Code(bool ok) { return ok ? code::kSuccess : fs().LastError(); }

  FileInfo Info(const std::string& relative) {
    FileInfo info;
    EXPECT_TRUE(fs().GetInfo(P(relative), info)) << relative;
    return info;
  }

  // The entries of a folder in the order the file system yields them, "/"
  // after a folder's name and "!" after a read-only file's.
  std::vector<std::string> Enumerate(const std::string& relative) {
    std::vector<std::string> names;
    for (const FindData& entry : Listing(fs(), P(relative))) {
      const bool readOnly = (entry.attributes & kFileAttributeReadOnly) != 0;
      names.push_back(entry.name + (entry.IsDirectory() ? "/" : readOnly ? "!" : ""));
    }
    return names;
  }

  struct Case {
    const char* what;
    uint64_t got, expected;
  };
  static void Expect(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
  }

  TempTree tree;
  std::unique_ptr<FileSystem> disk_;
  std::unique_ptr<FileSystem> wrapper_;
};

TEST_P(FileSystemContract, FoldersNeedTheirParentAndANameFreeInAnyCase) {
  tree.Write("Kit/Taken.txt", "x");
  Expect({
      {"new folder", Code(fs().CreateFolder(P("kit/Tools"))), code::kSuccess},
      {"taken by a folder", Code(fs().CreateFolder(P("KIT/TOOLS"))), code::kAlreadyExists},
      {"taken by a file", Code(fs().CreateFolder(P("Kit/taken.TXT"))), code::kAlreadyExists},
      {"no parent", Code(fs().CreateFolder(P("Kit/Missing/Child"))), code::kPathNotFound},
      {"parent is a file", Code(fs().CreateFolder(P("Kit/Taken.txt/Child"))), code::kPathNotFound},
      {"doubled separator", Code(fs().CreateFolder(P("Kit") + "\\\\Doubled")), code::kSuccess},
  });
  EXPECT_TRUE(Info("KIT/tools").isDirectory);
  EXPECT_EQ(Enumerate("Kit"),
            (std::vector<std::string>{"./", "../", "Doubled/", "Taken.txt", "Tools/"}));
}

// A kit's root with its missing parents: each level made once, existing
// ones found under any case, a file in the way named.
TEST_P(FileSystemContract, FolderWithParentsMakesEachMissingLevelOnce) {
  tree.Write("Kit/file", "x");
  const FolderCreation deep = CreateFolderWithParents(fs(), P("kit/Disk1") + "\\\\Talvor\\");
  EXPECT_TRUE(deep.ok) << deep.level;
  EXPECT_EQ(Enumerate("KIT"), (std::vector<std::string>{"./", "../", "Disk1/", "file"}));
  EXPECT_TRUE(Info("Kit/Disk1/Talvor").isDirectory);
  EXPECT_TRUE(CreateFolderWithParents(fs(), P("Kit/Disk1")).ok);

  const FolderCreation blocked = CreateFolderWithParents(fs(), P("Kit/file/sub/more"));
  EXPECT_FALSE(blocked.ok);
  EXPECT_TRUE(blocked.fileInTheWay);
  EXPECT_EQ(blocked.level, P("Kit/file"));
  EXPECT_EQ(Enumerate("Kit"), (std::vector<std::string>{"./", "../", "Disk1/", "file"}));
}

TEST_P(FileSystemContract, CopiesFailWithTheirCodesAndNeverReplaceUnderAnyCase) {
  tree.Write("src/a.txt", "12345");
  tree.MakeDir("src/folder");
  tree.Write("dst/Existing.txt", "old");
  Expect({
      {"missing source", Code(fs().CopyOneFile(P("src/none"), P("dst/x"), true)),
       code::kFileNotFound},
      {"missing source folder", Code(fs().CopyOneFile(P("no/a.txt"), P("dst/x"), true)),
       code::kPathNotFound},
      {"source below a file", Code(fs().CopyOneFile(P("src/a.txt/x"), P("dst/x"), true)),
       code::kPathNotFound},
      {"source is a folder", Code(fs().CopyOneFile(P("src/folder"), P("dst/x"), true)),
       code::kAccessDenied},
      {"missing target folder", Code(fs().CopyOneFile(P("src/a.txt"), P("no/x"), true)),
       code::kPathNotFound},
      {"target below a file", Code(fs().CopyOneFile(P("src/a.txt"), P("src/a.txt/x"), true)),
       code::kPathNotFound},
      {"target exists", Code(fs().CopyOneFile(P("src/a.txt"), P("dst/EXISTING.TXT"), true)),
       code::kFileExists},
      {"new target", Code(fs().CopyOneFile(P("src/a.txt"), P("dst/b.txt"), true)), code::kSuccess},
  });
  EXPECT_EQ(fs().LastCopySize(), 5u);
  Expect({
      {"own copy exists", Code(fs().CopyOneFile(P("src/a.txt"), P("dst/B.TXT"), true)),
       code::kFileExists},
      {"left as it was", Info("dst/existing.txt").size, 3},
      {"replaced on request", Code(fs().CopyOneFile(P("src/a.txt"), P("dst/existing.TXT"), false)),
       code::kSuccess},
      {"replaced", Info("dst/Existing.txt").size, 5},
  });
  EXPECT_EQ(Enumerate("dst"), (std::vector<std::string>{"./", "../", "b.txt", "Existing.txt"}));
}

TEST_P(FileSystemContract, ReadOnlyFilesStayReadOnlyUntilTheirAttributesAreReset) {
  tree.Write("src/SetupType.txt", "[PRODUCT]\r\nKRT=Y\r\n");
  tree.MakeReadOnly("src/SetupType.txt");
  tree.MakeDir("dst/folder");
  const std::string copy = P("dst/SetupType.txt");
  Expect({
      {"copy", Code(fs().CopyOneFile(P("src/SetupType.txt"), copy, true)), code::kSuccess},
      {"remove", Code(fs().RemoveFile(P("dst/SETUPTYPE.TXT"))), code::kAccessDenied},
      {"profile", Code(fs().WriteProfileEntry("PRODUCT", "KRT", "N", copy)), code::kAccessDenied},
      {"size", Info("dst/SetupType.txt").size, 18},
  });
  EXPECT_TRUE(Info("dst/setuptype.txt").readOnly);
  EXPECT_EQ(Enumerate("dst"), (std::vector<std::string>{"./", "../", "folder/", "SetupType.txt!"}));

  Expect({
      {"reset", Code(fs().SetAttributes(P("dst/setupType.txt"), kFileAttributeNormal)),
       code::kSuccess},
      {"profile", Code(fs().WriteProfileEntry("PRODUCT", "KRT", "N", P("dst/SETUPTYPE.TXT"))),
       code::kSuccess},
      {"new profile", Code(fs().WriteProfileEntry("S", "K", "V", P("dst/new.txt"))),
       code::kSuccess},
  });
  EXPECT_EQ(Enumerate("dst"),
            (std::vector<std::string>{"./", "../", "folder/", "new.txt", "SetupType.txt"}));
  Expect({
      {"remove", Code(fs().RemoveFile(copy)), code::kSuccess},
      {"remove again", Code(fs().RemoveFile(copy)), code::kFileNotFound},
      {"remove a folder", Code(fs().RemoveFile(P("dst/folder"))), code::kAccessDenied},
      {"reset a missing file", Code(fs().SetAttributes(copy, kFileAttributeNormal)),
       code::kFileNotFound},
      {"reset in no folder", Code(fs().SetAttributes(P("no/x"), kFileAttributeNormal)),
       code::kPathNotFound},
      {"profile in no folder", Code(fs().WriteProfileEntry("S", "K", "V", P("no/x.txt"))),
       code::kPathNotFound},
  });
  EXPECT_TRUE(Info("src/SetupType.txt").readOnly);
}

TEST_P(FileSystemContract, EnumerationYieldsDotsThenNtfsOrderThenNoMoreFiles) {
  for (const char* name : {"Zeta", "alpha", "a_b", "beta", ".config"})
    tree.Write("in/" + std::string(name), "x");
  tree.MakeDir("in/Sub");
  tree.Write("file", "x");
  tree.MakeDir("empty");
  // What the file system made itself takes its place among the rest.
  ASSERT_TRUE(fs().CreateFolder(P("in/made")));
  ASSERT_TRUE(fs().CopyOneFile(P("file"), P("in/Copy"), true));
  EXPECT_EQ(Enumerate("in"), (std::vector<std::string>{"./", "../", ".config", "alpha", "a_b",
                                                       "beta", "Copy", "made/", "Sub/", "Zeta"}));
  EXPECT_EQ(Enumerate("empty"), (std::vector<std::string>{"./", "../"}));

  FindData entry;
  EXPECT_EQ(fs().FindFirst(P("missing") + "\\*.*", entry), nullptr);
  EXPECT_EQ(fs().LastError(), code::kPathNotFound);
  // A "folder" that is a file yields nothing, with the code of a missing
  // folder: the walk takes it as empty on every platform.
  EXPECT_EQ(fs().FindFirst(P("file") + "\\*.*", entry), nullptr);
  EXPECT_EQ(fs().LastError(), code::kPathNotFound);
}

std::string SubjectName(const ::testing::TestParamInfo<Subject>& info) {
  return std::string(info.param.name) + kPlatform;
}

INSTANTIATE_TEST_SUITE_P(
    EveryFileSystem, FileSystemContract,
    ::testing::Values(
        Subject{"", nullptr},
        Subject{"DryRunOver",
                [](FileSystem& disk) { return std::make_unique<DryRunFileSystem>(disk); }},
        Subject{"RecordedOver",
                [](FileSystem& disk) { return std::make_unique<RecordingFileSystem>(disk); }}),
    SubjectName);

}  // namespace
}  // namespace vostrel
