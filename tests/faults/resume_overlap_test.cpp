// --resume over an interrupted kit, and kits that overlap the medium: the
// real vostrel-kit on real folders, on Linux and (through Wine) on Windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/cli/kit_process.h"

namespace vostrel::testing {
namespace {

namespace fs = std::filesystem;

using Tree = std::map<std::string, std::string>;

std::string LastLine(const std::string& text) {
  std::vector<std::string> lines = Lines(text);
  return lines.empty() ? std::string() : lines.back();
}

// Packages, boards that copy, boards whose libraries go, Pellam.cfg removed.
const std::vector<std::string> kSelection = {"--quenzo", "--framory", "--board", "Pellam",
                                             "--board",  "Ardune",    "--board", "Jurano"};

class KitFaults : public ::testing::Test {
 protected:
  KitFaults() { MakeMedium(tree_); }

  KitResult BuildFrom(const std::string& source, const std::string& dest,
                      std::vector<std::string> more = {}) {
    std::vector<std::string> arguments = {"--source", tree_.Path(source), "--dest",
                                          tree_.Path(dest)};
    arguments.insert(arguments.end(), kSelection.begin(), kSelection.end());
    arguments.insert(arguments.end(), more.begin(), more.end());
    return RunKitProcess(arguments);
  }
  KitResult Build(const std::string& dest, std::vector<std::string> more = {}) {
    return BuildFrom("medium/setup.exe", dest, std::move(more));
  }

  // The kit an uninterrupted run builds into an empty folder.
  Tree Reference() {
    KitResult run = Build("reference");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return tree_.Snapshot("reference");
  }

  void Remove(const std::string& relative) {
    std::error_code error;
    fs::permissions(tree_.Path(relative), fs::perms::owner_write, fs::perm_options::add, error);
    ASSERT_TRUE(fs::remove(tree_.Path(relative), error)) << relative;
  }

  TempTree tree_;
};

TEST_F(KitFaults, ResumeCompletesAnInterruptedKitExactly) {
  const Tree reference = Reference();
  ASSERT_EQ(Build("kit").exitCode, 0);
  // What a run cut short leaves: files missing in the middle of several
  // walks and the setup-type file copied but not yet edited.
  for (const char* gone :
       {"kit/setup.ini", "kit/Talvor Imaging/Tools/vokbench.exe",
        "kit/Talvor Imaging/Vok/dll/vok.dll", "kit/Talvor Imaging/Vok/dll/sub/deep.dll",
        "kit/Talvor Imaging/Drivers/DMA/driver.sys", "kit/Talvor Imaging/Drivers/Ardune/board.inf",
        "kit/Jurano/runtime/jurano.dll", "kit/Talvor Imaging/Vok/SetupType.txt"}) {
    Remove(gone);
  }
  tree_.Write("kit/Talvor Imaging/Vok/SetupType.txt",
              tree_.Read("medium/Talvor Imaging/Vok/SetupType.txt"));
  tree_.MakeReadOnly("kit/Talvor Imaging/Vok/SetupType.txt");

  // Without --resume each walk still ends at the first file already there.
  KitResult plain = Build("kit");
  EXPECT_EQ(plain.exitCode, 1);
  EXPECT_TRUE(Has(plain.err, "which the kit already holds")) << plain.err;
  EXPECT_NE(tree_.Snapshot("kit"), reference);

  KitResult resumed = Build("kit", {"--resume"});
  EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
  EXPECT_EQ(LastLine(resumed.out), "Redistribution Complete");
  EXPECT_FALSE(Has(resumed.err, "warning")) << resumed.err;
  EXPECT_EQ(tree_.Snapshot("kit"), reference);
  EXPECT_FALSE(tree_.IsReadOnly("kit/Talvor Imaging/Vok/SetupType.txt"));

  // A finished kit stays as it is.
  KitResult again = Build("kit", {"--resume"});
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(tree_.Snapshot("kit"), reference);
}

TEST_F(KitFaults, ResumeKeepsWhatIsThereAndDropsOnlyLeftoverTemporaries) {
  ASSERT_EQ(Build("kit").exitCode, 0);
  tree_.Write("kit/setup.ini", "edited by hand");
  Remove("kit/Talvor Imaging/Vok/dll/vok.dll");
  // Temporaries of a copy and of a setup-type edit that a kill cut short,
  // beside hidden and temporary-looking files that are someone else's.
  const std::vector<std::string> leftovers = {"kit/Talvor Imaging/Vok/dll/.vostrel-copy-Ab12Cd",
                                              "kit/Talvor Imaging/Vok/.SetupType.txt.0a1b2c3d.tmp",
                                              "kit/.vostrel-copy-ZZ9zz9"};
  const std::vector<std::string> others = {"kit/.keep", "kit/notes.0a1b2c3d.tmp",
                                           "kit/Talvor Imaging/.vostrel-copy-short"};
  for (const std::string& name : leftovers) tree_.Write(name, "partial");
  for (const std::string& name : others) tree_.Write(name, "mine");

  // The edited file is kept, and the check that ends a resumed run says
  // the kit is not what the medium calls for.
  KitResult run = Build("kit", {"--resume"});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_TRUE(Has(run.err, "vostrel-kit: content differs: setup.ini\n")) << run.err;
  EXPECT_EQ(tree_.Read("kit/setup.ini"), "edited by hand");
  EXPECT_EQ(tree_.Read("kit/Talvor Imaging/Vok/dll/vok.dll"),
            tree_.Read("medium/Talvor Imaging/Vok/dll/vok.dll"));
  for (const std::string& name : leftovers) EXPECT_FALSE(tree_.Exists(name)) << name;
  for (const std::string& name : others) EXPECT_EQ(tree_.Read(name), "mine") << name;
  EXPECT_TRUE(Has(run.err, "left by an interrupted run")) << run.err;
}

TEST_F(KitFaults, ResumeIsCompleteOnlyWhenTheKitIs) {
  // Built while the medium lacked its setup-type file, the kit holds one
  // that only the run's edits made up; the medium then has its file again,
  // with an entry no run writes.
  const std::string setupType = "medium/Talvor Imaging/Vok/SetupType.txt";
  const std::string content = tree_.Read(setupType) + "[OPTIONS]\r\nLanguage=EN\r\n";
  Remove(setupType);
  EXPECT_EQ(Build("kit").exitCode, 1);
  tree_.Write(setupType, content);
  KitResult run = Build("kit", {"--resume"});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_TRUE(Has(run.err, "vostrel-kit: setup-type differs: [OPTIONS] ")) << run.err;
  EXPECT_EQ(LastLine(run.out), "Redistribution Complete");
}

TEST_F(KitFaults, DestinationThatIsTheMediumIsRefused) {
  const Tree medium = tree_.Snapshot("medium");
  // Also when spelled in another case: names are compared as on Windows.
  for (const char* dest : {"medium", "MEDIUM"}) {
    KitResult run = Build(dest);
    EXPECT_EQ(run.exitCode, 2) << dest;
    EXPECT_TRUE(Has(run.err, "Must Select a Destination Other Than the Source")) << run.err;
  }
  EXPECT_EQ(tree_.Snapshot("medium"), medium);
  EXPECT_TRUE(tree_.IsReadOnly("medium/Talvor Imaging/Vok/SetupType.txt"));
}

TEST_F(KitFaults, KitInsideTheMediumLeavesTheMediumAsItWas) {
  const Tree reference = Reference();
  const Tree medium = tree_.Snapshot("medium");
  KitResult run = Build("medium/kit");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  // The walks never copy the kit into itself.
  EXPECT_EQ(tree_.Snapshot("medium/kit"), reference);
  Tree after = tree_.Snapshot("medium");
  for (auto it = after.begin(); it != after.end();) {
    it = it->first == "kit" || it->first.rfind("kit/", 0) == 0 ? after.erase(it) : std::next(it);
  }
  EXPECT_EQ(after, medium);
  EXPECT_TRUE(tree_.IsReadOnly("medium/Talvor Imaging/Vok/SetupType.txt"));
}

TEST_F(KitFaults, MediumBesideTheKitInItsFolderIsLeftAsItWas) {
  fs::create_directories(tree_.Path("outer"));
  fs::rename(tree_.Path("medium"), tree_.Path("outer/medium"));
  const Tree medium = tree_.Snapshot("outer/medium");
  KitResult run = BuildFrom("outer/medium/setup.exe", "outer");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(tree_.Snapshot("outer/medium"), medium);
  EXPECT_TRUE(tree_.Exists("outer/Talvor Imaging/Vok/SetupType.txt"));
}

TEST_F(KitFaults, MediumInsideAFolderTheKitWritesIsRefused) {
  // The kit would copy into, edit and delete from the medium's own folders.
  for (const char* place : {"outer/Talvor Imaging", "outer/JURANO/runtime"}) {
    SCOPED_TRACE(place);
    fs::create_directories(tree_.Path(place).substr(0, tree_.Path(place).find_last_of("\\/")));
    fs::rename(tree_.Path("medium"), tree_.Path(place));
    const Tree before = tree_.Snapshot("outer");
    KitResult run = BuildFrom(std::string(place) + "/setup.exe", "outer");
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_TRUE(Has(run.err, "Must Select a Destination Other Than the Source")) << run.err;
    EXPECT_EQ(tree_.Snapshot("outer"), before);
    fs::rename(tree_.Path(place), tree_.Path("medium"));
  }
}

#ifndef _WIN32
// Links are made with the POSIX call here; Wine's links are the host's.
TEST_F(KitFaults, KitFolderLinkedIntoTheMediumIsRefused) {
  const Tree medium = tree_.Snapshot("medium");
  fs::create_directories(tree_.Path("kit"));
  fs::create_directory_symlink(tree_.Path("medium/Talvor Imaging"),
                               tree_.Path("kit/Talvor Imaging"));
  KitResult run = Build("kit");
  EXPECT_EQ(run.exitCode, 2) << run.err;
  EXPECT_TRUE(Has(run.err, "Must Select a Destination Other Than the Source")) << run.err;
  EXPECT_EQ(tree_.Snapshot("medium"), medium);
  EXPECT_TRUE(tree_.IsReadOnly("medium/Talvor Imaging/Vok/SetupType.txt"));
}
#endif

}  // namespace
}  // namespace vostrel::testing
