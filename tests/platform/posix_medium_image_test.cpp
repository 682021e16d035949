// An image of a medium read in place: the native file system answers for
// what lies in it as Windows answers for a disc (NTFS order, names without
// regard to case, read-only files, write-protected), and copies out of it
// through the POSIX copy path. Images are made here with xorriso.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/native.h"
#include "tests/support/temp_tree.h"

namespace vostrel::platform {
namespace {

namespace fs = std::filesystem;
namespace code = win32_error;

class MediumImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v xorriso >/dev/null") != 0) GTEST_SKIP() << "no xorriso";
    tree_.Write("medium/b.txt", "b");
    tree_.Write("medium/a.TXT", "lower a");
    tree_.Write("medium/A.txt", "upper a");
    tree_.Write("medium/ro.txt", "read me");
    tree_.Write("medium/Sub/inner.dll", "inner bytes");
    fs::create_symlink("Sub", tree_.Path("medium/link"));
    const std::string make = "touch -h -d '2024-05-06 07:08:09 UTC' $(find " +
                             tree_.Path("medium") + ") && xorriso -as mkisofs -quiet -R -o " +
                             image_ + " " + tree_.Path("medium") + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    std::string error;
    std::unique_ptr<OpenedImage> image;
    ASSERT_EQ(OpenImageSource(image_, image, error), ImageSource::kOpened) << error;
    disk_ = MakeNativeFileSystem(std::move(image));
    disk_->SetSkipListener([this](const std::string&, const std::string& name, const std::string&,
                                  platform::SkipKind) { skipped_.push_back(name); });
  }

  std::vector<std::string> Listed(const std::string& folder) {
    std::vector<std::string> names;
    FindData entry;
    auto enumeration = disk_->FindFirst(folder + "\\*.*", entry);
    if (!enumeration) return names;
    do {
      names.push_back(entry.name + (entry.IsDirectory() ? "/" : "") +
                      ((entry.attributes & kFileAttributeReadOnly) ? " ro" : ""));
    } while (enumeration->Next(entry));
    EXPECT_EQ(disk_->LastError(), code::kNoMoreFiles);
    return names;
  }

  testing::TempTree tree_;
  const std::string image_ = tree_.Path("medium.iso");
  std::vector<std::string> skipped_;
  std::unique_ptr<NativeFileSystem> disk_;
};

TEST_F(MediumImageTest, AnswersAsADiscDoes) {
  // A drive's root lists no dots; a name the folder holds twice in any case
  // is left out, both times, as a link is.
  EXPECT_EQ(Listed(image_), (std::vector<std::string>{"b.txt ro", "ro.txt ro", "Sub/"}));
  std::sort(skipped_.begin(), skipped_.end());
  EXPECT_EQ(skipped_, (std::vector<std::string>{"A.txt", "a.TXT", "link"}));
  EXPECT_EQ(Listed(image_ + "\\SUB"), (std::vector<std::string>{"./", "../", "inner.dll ro"}));
  EXPECT_EQ(disk_->FullPath(image_ + "\\sub\\INNER.dll"), image_ + "/Sub/inner.dll");
  EXPECT_EQ(disk_->FullPath(image_ + "\\a.txt\\new"), image_ + "/a.txt/new");

  FileInfo info;
  ASSERT_TRUE(disk_->GetInfo(image_ + "\\sub\\INNER.DLL", info));
  EXPECT_TRUE(!info.isDirectory && info.readOnly && info.size == 11);
  EXPECT_FALSE(disk_->GetInfo(image_ + "\\nope", info));
  EXPECT_EQ(disk_->LastError(), code::kFileNotFound);
  EXPECT_FALSE(disk_->GetInfo(image_ + "\\nope\\x", info));
  EXPECT_EQ(disk_->LastError(), code::kPathNotFound);

  FolderId root, sub, folderOnDisk;
  ASSERT_TRUE(disk_->IdentifyFolder(image_, root) && disk_->IdentifyFolder(image_ + "\\Sub", sub));
  ASSERT_TRUE(disk_->IdentifyFolder(tree_.Path("medium/Sub"), folderOnDisk));
  EXPECT_TRUE(root != sub && sub != folderOnDisk);
  EXPECT_FALSE(disk_->IdentifyFolder(image_ + "\\b.txt", root));
  EXPECT_EQ(disk_->LastError(), code::kDirectory);

  // Write-protected, as a disc is.
  EXPECT_FALSE(disk_->CreateFolder(image_ + "\\New"));
  EXPECT_FALSE(disk_->RemoveFile(image_ + "\\b.txt"));
  EXPECT_FALSE(disk_->CopyOneFile(tree_.Path("medium/b.txt"), image_ + "\\c.txt", true));
  EXPECT_EQ(disk_->LastError(), code::kAccessDenied);

  std::string content;
  std::string error;
  ASSERT_TRUE(disk_->ReadMediumFile(
      image_ + "\\Sub\\inner.dll",
      [&](const char* data, std::size_t size) { return content.append(data, size), true; }, error));
  EXPECT_EQ(content, "inner bytes");
}

TEST_F(MediumImageTest, CopiesAreReadOnlyWithTheImagesTime) {
  tree_.MakeDir("kit");
  ASSERT_TRUE(disk_->CopyOneFile(image_ + "\\RO.TXT", tree_.Path("kit/ro.txt"), true));
  EXPECT_EQ(disk_->LastCopySize(), 7u);
  EXPECT_EQ(tree_.Read("kit/ro.txt"), "read me");
  EXPECT_TRUE(tree_.IsReadOnly("kit/ro.txt"));
  struct stat status;
  ASSERT_EQ(stat(tree_.Path("kit/ro.txt").c_str(), &status), 0);
  EXPECT_EQ(status.st_mtim.tv_sec, 1714979289);
  EXPECT_FALSE(disk_->CopyOneFile(image_ + "\\ro.txt", tree_.Path("kit/RO.txt"), true));
  EXPECT_EQ(disk_->LastError(), code::kFileExists);
  EXPECT_FALSE(disk_->CopyOneFile(image_ + "\\Sub", tree_.Path("kit/Sub"), true));
  EXPECT_EQ(disk_->LastError(), code::kAccessDenied);
}

TEST(ImageSourceTest, WhatASourceFileIs) {
  testing::TempTree tree;
  tree.Write("setup.exe", "a medium's installer");
  tree.Write("broken.iso", "named as an image, holding none");
  std::string error;
  std::unique_ptr<OpenedImage> image;
  EXPECT_EQ(OpenImageSource(tree.Path("setup.exe"), image, error), ImageSource::kNotImage);
  EXPECT_EQ(OpenImageSource(tree.Path("broken.iso"), image, error), ImageSource::kRefused);
  EXPECT_NE(error.find("holds no ISO 9660 volume descriptor"), std::string::npos) << error;
  // A descriptor where one belongs, and nothing sound after it.
  tree.Write("medium.bin", std::string(16 * 2048, '\0') + "\001CD001" + std::string(2042, 'x'));
  EXPECT_EQ(OpenImageSource(tree.Path("medium.bin"), image, error), ImageSource::kRefused);
  EXPECT_NE(error.find("cannot read the image " + tree.Path("medium.bin")), std::string::npos)
      << error;
}

}  // namespace
}  // namespace vostrel::platform
