// Windows-form paths: how spellings of one folder meet, where roots stay
// whole, and when one path lies within another.
#include "engine/windows_path.h"

#include <gtest/gtest.h>

#include <string>

namespace vostrel::winpath {
namespace {

TEST(WindowsPathTest, SpellingsOfOnePathMeet) {
  // Into storage that held a longer path before.
  std::string reused = "C:\\Kit\\Drivers\\Utilities\\drvinst.exe";
  auto joinedInto = [&reused](const std::string& folder, const std::string& name) {
    JoinInto(folder, name, reused);
    return reused;
  };
  // IsBelow answers what RelativeTo would, without building the part.
  auto relative = [](const std::string& root, const std::string& path) {
    std::string result;
    const bool below = RelativeTo(root, path, result);
    EXPECT_EQ(IsBelow(root, path), below && !result.empty()) << root << " " << path;
    return below ? result : "(outside)";
  };
  const struct {
    std::string got, expected;
  } cases[] = {
      {Normalized("C:\\Kit\\\\Talvor Imaging/"), "C:/Kit/Talvor Imaging"},
      {Normalized("\\\\"), "/"},
      {DropTrailingSeparators("X:\\"), "X:\\"},
      {DropTrailingSeparators("X:\\Kit\\\\"), "X:\\Kit"},
      {DropTrailingSeparators("/"), "/"},
      {DropTrailingSeparators("/kit/name\\", false), "/kit/name\\"},
      {ParentOf("C:\\Kit/Vok"), "C:\\Kit"},
      {ParentOf("Vok"), ""},
      {LastName("C:\\Kit/Vok"), "Vok"},
      {ParentOf("C:/Kit\\Vok/x"), "C:/Kit\\Vok"},
      {ParentOf("/kit/a\\b", false), "/kit"},
      {LastName("C:\\Kit\\Vok.dll"), "Vok.dll"},
      {LastName("/kit/a\\b", false), "a\\b"},
      {Join("C:\\Kit", "Vok"), "C:\\Kit\\Vok"},
      {joinedInto("C:\\Kit", "Vok"), "C:\\Kit\\Vok"},
      {relative("/m", "/m\\Vok//dll\\"), "Vok/dll"},
      {relative("/m/", "/m/Vok"), "Vok"},
      {relative("/m", "/m"), ""},
      {relative("/m", "/m\\/"), ""},
      {relative("/m", "/medium"), "(outside)"},
      {relative("/m", "/M/Vok"), "(outside)"},
      {WithSeparators("\\\\\\\\server//share\\x", '\\'), "\\\\server\\share\\x"},
      {WithSeparators("\\\\server\\\\share", '/'), "/server/share"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(WindowsPathTest, WithinComparesWholeNamesWithOrWithoutCase) {
  const struct {
    const char* inner;
    const char* outer;
    bool foldCase, within;
  } cases[] = {
      {"C:\\Kit\\Talvor Imaging", "c:/kit", true, true},
      {"C:\\Kit\\Talvor Imaging", "c:/kit", false, false},
      {"C:\\Kit\\", "C:\\Kit", false, true},
      {"C:\\Kitten", "C:\\Kit", true, false},
      {"/m/ÄRGER/x", "/M/ärger", true, true},
      {"/medium/x", "/", true, true},
      {"", "/", true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsWithin(c.inner, c.outer, c.foldCase), c.within) << c.inner << " in " << c.outer;
  }
  EXPECT_EQ(PathKey("c:/kit\\vok\\dll\\"), u"C:/KIT/VOK/DLL");
}

TEST(WindowsPathTest, NamesWindowsCannotShowAreRefusedWithTheirReason) {
  const struct {
    const char* name;
    const char* reasonHolds;  // nullptr: a Windows name
  } cases[] = {
      {"vok.dll", nullptr},
      {"\xe8\xaa\xac\xe6\x98\x8e\xe6\x9b\xb8.txt", nullptr},
      {".svn", nullptr},
      {"CONSOLE.dll", nullptr},
      {"COM0", nullptr},
      {"", "cannot be a Windows name"},
      {"..", "cannot be a Windows name"},
      {"b/b.dll", "slash"},
      {"b\\b.dll", "backslash"},
      {"vok:nuvaro.dl", ":*?"},
      {"a|b", ":*?"},
      {"tab\tname", "control character"},
      {"voksorvik.dl.", "ends in a dot or a space"},
      {"name ", "ends in a dot or a space"},
      {"\xff\xfe", "not valid UTF-8"},
      {"con", "device"},
      {"Nul.txt", "device"},
      {"lpt9 .log", "device"},
      {"AUX.tar.gz", "device"},
  };
  for (const auto& c : cases) {
    const char* why = WhyNotAName(c.name);
    if (c.reasonHolds == nullptr) {
      EXPECT_EQ(why, nullptr) << c.name << ": " << why;
    } else {
      ASSERT_NE(why, nullptr) << c.name;
      EXPECT_NE(std::string(why).find(c.reasonHolds), std::string::npos) << c.name << ": " << why;
    }
  }
}

}  // namespace
}  // namespace vostrel::winpath
