// The Windows layer in each spelling of names, against the real kernel32
// (under Wine on the build machine): in UTF-8 every name a disk holds is
// reached; in the code page a name it has no spelling for is listed with '?'
// and every call on it fails, saying so.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "platform/native.h"
#include "platform/whole_file.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_names.h"
#include "tests/support/listing.h"
#include "tests/support/temp_tree.h"

namespace vostrel::platform {
namespace {

using vostrel::testing::TempTree;

class Win32NamesTest : public ::testing::Test {
 protected:
  ~Win32NamesTest() override { names::SetUtf8(false); }

  // The Windows-form path of `relative` ('/' separated) inside the tree.
  std::string P(const std::string& relative) const {
    std::string path = tree_.root() + "\\" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }
  // The same in UTF-16 (the tree's own path is ASCII).
  std::wstring W(const std::wstring& relative) const {
    const std::string root = tree_.root();
    return std::wstring(root.begin(), root.end()) + L"\\" + relative;
  }

  std::set<std::string> Listed(const std::string& folder) {
    std::set<std::string> listed;
    for (const FindData& entry : vostrel::testing::Listing(fs_, folder)) listed.insert(entry.name);
    return listed;
  }

  TempTree tree_;
  Win32FileSystem fs_;
};

TEST_F(Win32NamesTest, Utf8ReachesEveryNameTheDiskHolds) {
  names::SetUtf8(true);
  const std::string folder = P(u8"Кириллица 日本");
  const std::string manual = folder + u8"\\説明書.txt";
  const std::string copy = folder + u8"\\Ελληνικά Łódź.ini";
  ASSERT_TRUE(fs_.CreateFolder(folder));
  std::string error;
  ASSERT_TRUE(WriteWholeFile(manual, "[S]\r\nk=old\r\n", error)) << error;
  EXPECT_EQ(Listed(folder), (std::set<std::string>{".", "..", u8"説明書.txt"}));

  ASSERT_TRUE(fs_.CopyOneFile(manual, copy, true));
  EXPECT_FALSE(fs_.CopyOneFile(manual, copy, true));
  EXPECT_EQ(fs_.LastError(), static_cast<unsigned long>(ERROR_FILE_EXISTS));
  EXPECT_TRUE(fs_.WriteProfileEntry("S", "k", "new", copy));
  std::string read;
  EXPECT_TRUE(ReadWholeFile(
      copy,
      [&](const char* data, std::size_t size) {
        read.append(data, size);
        return true;
      },
      error))
      << error;
  EXPECT_NE(read.find("k=new"), std::string::npos) << read;
  FileInfo info;
  EXPECT_TRUE(fs_.GetInfo(copy, info));
  EXPECT_EQ(fs_.FullPath(copy), copy);
  EXPECT_EQ(NativeToUtf8(copy), copy);

  // The disk holds the names themselves, as the wide calls see them.
  EXPECT_NE(GetFileAttributesW(W(L"Кириллица 日本\\Ελληνικά Łódź.ini").c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(fs_.RemoveFile(copy));
  EXPECT_EQ(GetFileAttributesW(W(L"Кириллица 日本\\Ελληνικά Łódź.ini").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

TEST_F(Win32NamesTest, CodePageNamesWhatItCannotSpellAndReachesNothingByIt) {
  tree_.MakeDir("medium");
  tree_.MakeDir("kit");
  ASSERT_TRUE(CreateDirectoryW(W(L"medium\\日本").c_str(), nullptr));
  // 'Ł' and 'ź' have near letters in the code page (best fit): the name
  // must not reach the file that is spelled with them.
  for (const wchar_t* name : {L"medium\\説明書.txt", L"medium\\Łódź.txt"}) {
    const HANDLE file = CreateFileW(W(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }
  tree_.Write(
      "medium/L\xf3"
      "dz.txt",
      "near");
  tree_.Write("medium/caf\xe9.txt", "kept");  // the code page spells this one

  EXPECT_EQ(Listed(P("medium")), (std::set<std::string>{".", "..", "??", "???.txt",
                                                        "?\xf3"
                                                        "d?.txt",
                                                        "L\xf3"
                                                        "dz.txt",
                                                        "caf\xe9.txt"}));
  const unsigned long cannot = ERROR_NO_UNICODE_TRANSLATION;
  EXPECT_FALSE(fs_.CopyOneFile(P("medium/???.txt"), P("kit/???.txt"), true));
  EXPECT_EQ(fs_.LastError(), cannot);
  EXPECT_FALSE(fs_.CopyOneFile(P("medium/?\xf3"
                                 "d?.txt"),
                               P("kit/?\xf3"
                                 "d?.txt"),
                               true));
  EXPECT_EQ(fs_.LastError(), cannot);
  EXPECT_FALSE(fs_.CreateFolder(P("kit/??")));
  EXPECT_EQ(fs_.LastError(), cannot);
  FindData entry;
  EXPECT_EQ(fs_.FindFirst(P("medium/??") + "\\*.*", entry), nullptr);
  EXPECT_EQ(fs_.LastError(), cannot);
  EXPECT_TRUE(fs_.CopyOneFile(P("medium/caf\xe9.txt"), P("kit/caf\xe9.txt"), true));
  EXPECT_EQ(Listed(P("kit")), (std::set<std::string>{".", "..", "caf\xe9.txt"}));
}

}  // namespace
}  // namespace vostrel::platform
