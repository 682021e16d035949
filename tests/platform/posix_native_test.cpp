// What the command line needs of Linux beyond the engine's file system.
#include "platform/native.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_tree.h"

namespace vostrel::platform {
namespace {

namespace fs = std::filesystem;

TEST(PosixNativeTest, AbsolutePathNormalisesWithoutResolvingLinks) {
  EXPECT_EQ(AbsolutePath("/"), "/");
  EXPECT_EQ(AbsolutePath("/a//b/./../c/"), "/a/c");
  EXPECT_EQ(AbsolutePath("/a\\b"), "/a/b");
  EXPECT_EQ(AbsolutePath(""), "");
  EXPECT_EQ(AbsolutePath("kit/./x"), fs::current_path().string() + "/kit/x");

  testing::TempTree tree;
  tree.MakeDir("real/inner");
  fs::create_directory_symlink(tree.Path("real/inner"), tree.Path("link"));
  EXPECT_EQ(AbsolutePath(tree.Path("link") + "/.."), tree.root());
}

TEST(PosixNativeTest, NativeFileSystemReportsSkippedNames) {
  testing::TempTree tree;
  tree.Write("medium/bad\\name", "x");
  std::string skipped;
  auto fileSystem = MakeNativeFileSystem();
  fileSystem->SetSkipListener([&](const std::string&, const std::string& name, const std::string&,
                                  SkipKind) { skipped = name; });
  FindData entry;
  auto enumeration = fileSystem->FindFirst(tree.root() + "\\Medium\\*.*", entry);
  ASSERT_TRUE(enumeration);
  while (enumeration->Next(entry)) EXPECT_EQ(entry.name, "..");
  EXPECT_EQ(skipped, "bad\\name");
  EXPECT_EQ(PreferredSeparator(), '/');
}

}  // namespace
}  // namespace vostrel::platform
