// Validation, the root step and the shape of a whole run.
#include <stdexcept>

#include "engine/forwarding_file_system.h"
#include "engine/kit_layout.h"
#include "engine/recording_file_system.h"
#include "engine/redistribution.h"
#include "engine/windows_path.h"
#include "tests/engine/engine_fixture.h"

namespace vostrel::testing {
namespace {

TEST(StripFileName, CutsAtTheLastBackslashFromIndexOne) {
  EXPECT_EQ(StripFileName("D:\\setup.exe"), "D:");
  EXPECT_EQ(StripFileName("D:\\Kit\\Disk1\\setup.exe"), "D:\\Kit\\Disk1");
  EXPECT_EQ(StripFileName("\\\\srv\\share\\setup.exe"), "\\\\srv\\share");
  EXPECT_EQ(StripFileName("D:\\Kit\\"), "D:\\Kit");
  EXPECT_EQ(StripFileName("D:\\Kit\\\\"), "D:\\Kit\\");
  EXPECT_EQ(StripFileName("setup.exe"), "");
  EXPECT_EQ(StripFileName("\\setup.exe"), "");
  EXPECT_EQ(StripFileName(""), "");
}

class ValidationTest : public EngineTest {
 protected:
  void Expect(const std::string& source, const std::string& dest, const KitSelection& selection,
              const char* message) {
    BuildMedium(tree);
    tree.MakeDir("kit");
    RecordingFileSystem recorder(*fs);
    RunRedistribution(recorder, feedback, source, dest, selection);
    ASSERT_EQ(feedback.messages, std::vector<std::string>{message});
    EXPECT_TRUE(feedback.statuses.empty());
    EXPECT_EQ(feedback.cursorDepth, 0);
    EXPECT_EQ(std::count(feedback.events.begin(), feedback.events.end(), "cursor on"), 0);
    for (const Operation& operation : recorder.operations()) {
      EXPECT_TRUE(operation.kind == OperationKind::kFindFirst ||
                  operation.kind == OperationKind::kFindEnd)
          << "wrote before validation passed: " << OperationName(operation.kind);
    }
  }
};

TEST_F(ValidationTest, SourceIsCheckedFirstEvenWhenEverythingIsMissing) {
  Expect("", "", KitSelection{}, kMessageNoSource);
}

TEST_F(ValidationTest, DestinationIsCheckedSecond) {
  Expect(SourceRoot(), "", KitSelection{}, kMessageNoDestination);
}

TEST_F(ValidationTest, BoardsAndVideoCardDoNotCountAsAPackage) {
  KitSelection selection;
  selection.boards.fill(true);
  selection.videoCard = true;
  Expect(SourceRoot(), DestRoot(), selection, kMessageNoPackage);
}

TEST_F(ValidationTest, DestinationThatIsTheSourceIsRefusedWhateverItsSpelling) {
  Expect(SourceRoot(), SourceRoot(), DefaultSelection(), kMessageDestinationIsSource);
  feedback = RecordingFeedback();
  Expect(SourceRoot(), tree.Path("MEDIUM/"), DefaultSelection(), kMessageDestinationIsSource);
  feedback = RecordingFeedback();
  Expect(SourceRoot(), tree.Path("kit/../medium"), DefaultSelection(), kMessageDestinationIsSource);
  EXPECT_EQ(tree.Read("medium/Talvor Imaging/Vok/SetupType.txt"), kMediumSetupType);
}

TEST_F(EngineTest, DefaultRunShowsItsStepsInOrderUnderTheWaitCursor) {
  Run(DefaultSelection());
  EXPECT_TRUE(feedback.messages.empty());
  const std::vector<std::string> expected = {
      "cursor on",
      "status Copying Talvor Imaging Setup Files...",
      "status Copying Talvor Imaging Tools...",
      "status Copying VOK Runtime Files...",
      "status Copying Talvor Drivers Files...",
      "status Copying Talvor PELUX Drivers...",
      "status Redistribution Complete",
      "cursor off",
  };
  EXPECT_EQ(feedback.events, expected);
}

TEST_F(EngineTest, RootStepCopiesOnlyRootFilesAndTheFourTools) {
  Run(DefaultSelection());
  EXPECT_EQ(Kit("setup.exe"), "setup.exe");
  EXPECT_EQ(Kit("data1.cab"), "data1.cab");
  EXPECT_FALSE(InKit("Extras"));
  for (const char* tool : {"VOKConfig.exe", "vokdrv.exe", "BchResum.bch", "vokbench.exe"}) {
    EXPECT_EQ(Kit(std::string("Talvor Imaging/Tools/") + tool),
              std::string("Talvor Imaging/Tools/") + tool);
  }
  EXPECT_FALSE(InKit("Talvor Imaging/Tools/vokdebug.exe"));
}

TEST_F(EngineTest, RootWithTrailingSeparatorBuildsTheSameKit) {
  BuildMedium(tree);
  tree.MakeDir("kit");
  RunRedistribution(*fs, feedback, SourceRoot() + "\\", DestRoot() + "\\", DefaultSelection());
  EXPECT_EQ(Kit("setup.exe"), "setup.exe");
  EXPECT_EQ(Kit("Talvor Imaging/Vok/dll/vokcore.dll"), "Talvor Imaging/Vok/Dll/vokcore.dll");
  EXPECT_EQ(feedback.statuses.back(), kStatusComplete);
}

// The files a step copies by name are missing: the kit is incomplete, and
// its folders are made all the same.
TEST_F(EngineTest, EmptyMediumEndsIncompleteWithEmptyFolders) {
  tree.MakeDir("medium");
  Run(DefaultSelection());
  EXPECT_EQ(feedback.statuses.back(), kStatusIncomplete);
  EXPECT_TRUE(InKit("Talvor Imaging/Tools"));
  EXPECT_TRUE(InKit("Talvor Imaging/Drivers/PELUX"));
  EXPECT_FALSE(InKit("Talvor Imaging/Tools/vokdrv.exe"));
}

// The overlap guard looks only at the kit's top folders: a run that wrote
// anywhere else below the root would escape it.
TEST_F(EngineTest, BelowTheRootARunWritesOnlyIntoTheTopFolders) {
  BuildMedium(tree);
  KitSelection everything = DefaultSelection();
  everything.controlPackage = everything.cameraTool = true;
  KitSelection allBoards = everything;
  allBoards.boards.fill(true);
  const std::vector<std::string> tops = kit_layout::TopFolders();
  for (const KitSelection& selection : {everything, allBoards}) {
    tree.MakeDir("kit" + std::to_string(selection.boards[0]));
    const std::string kit = tree.Path("kit" + std::to_string(selection.boards[0]));
    RecordingFileSystem recorder(*fs);
    RunRedistribution(recorder, feedback, SourceRoot(), kit, selection);
    for (const Operation& operation : recorder.operations()) {
      if (operation.kind == OperationKind::kFindFirst) continue;
      if (operation.kind == OperationKind::kFindEnd) continue;
      std::string relative;
      const std::string& path = operation.target.empty() ? operation.path : operation.target;
      ASSERT_TRUE(winpath::RelativeTo(kit, path, relative)) << path;
      if (relative.find('/') == std::string::npos) continue;  // a file of the root
      const std::string top = "\\" + relative.substr(0, relative.find('/'));
      EXPECT_NE(std::find(tops.begin(), tops.end(), top), tops.end()) << path;
    }
  }
  EXPECT_EQ(tops, (std::vector<std::string>{"\\Talvor Imaging", "\\Jurano"}));
}

// A file system whose copies throw, as an out-of-memory would.
class ThrowingFileSystem : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  bool CopyOneFile(const std::string&, const std::string&, bool) override {
    throw std::runtime_error("copy failed");
  }
};

TEST_F(EngineTest, WaitCursorIsRestoredWhenTheRunThrows) {
  BuildMedium(tree);
  tree.MakeDir("kit");
  ThrowingFileSystem throwing(*fs);
  EXPECT_THROW(RunRedistribution(throwing, feedback, SourceRoot(), DestRoot(), DefaultSelection()),
               std::runtime_error);
  EXPECT_EQ(feedback.cursorDepth, 0);
  EXPECT_EQ(feedback.events.back(), "cursor off");
}

}  // namespace
}  // namespace vostrel::testing
