// The package steps and what they leave in the kit's setup-type file.
#include "engine/recording_file_system.h"
#include "engine/redistribution.h"
#include "tests/engine/engine_fixture.h"

namespace vostrel::testing {
namespace {

const char* const kKitSetupType = "Talvor Imaging/Vok/SetupType.txt";

KitSelection WithPackages(bool control, bool camera) {
  KitSelection selection = DefaultSelection();
  selection.controlPackage = control;
  selection.cameraTool = camera;
  return selection;
}

struct Combination {
  bool control, camera;
  const char* productQuenzoRuntime;
  const char* productFramory;
  const char* selectedQuenzoRuntime;  // the medium's "Y" when not written
  const char* selectedFramory;
};

void PrintTo(const Combination& c, std::ostream* out) {
  *out << (c.control ? "control" : "no control") << ", " << (c.camera ? "camera" : "no camera");
}

class SetupTypeValues : public EngineTest, public ::testing::WithParamInterface<Combination> {};

TEST_P(SetupTypeValues, EachWrittenKeyEndsWithItsRunValue) {
  const Combination& c = GetParam();
  Run(WithPackages(c.control, c.camera));
  auto values = ReadSetupType(Kit(kKitSetupType));
  EXPECT_EQ(values["PRODUCT/VOKDEVELOPMENT"], "N");
  EXPECT_EQ(values["PRODUCT/QUENZODEVELOPMENT"], "N");
  EXPECT_EQ(values["PRODUCT/QUENZORUNTIME"], c.productQuenzoRuntime);
  EXPECT_EQ(values["PRODUCT/FRAMORY"], c.productFramory);
  EXPECT_EQ(values["PRODUCT/KRT"], "N");
  EXPECT_EQ(values["SELECTED/VOKDEVELOPMENT"], "N");
  EXPECT_EQ(values["SELECTED/QUENZORUNTIME"], c.selectedQuenzoRuntime);
  EXPECT_EQ(values["SELECTED/FRAMORY"], c.selectedFramory);
  // Keys the engine never writes keep the medium's values; the medium is untouched.
  EXPECT_EQ(values["PRODUCT/VOKRUNTIME"], "Y");
  EXPECT_EQ(tree.Read("medium/Talvor Imaging/Vok/SetupType.txt"), kMediumSetupType);
  EXPECT_EQ(InKit("Talvor Imaging/Quenzo/Controls/Grid/grid.ocx"), c.control);
  EXPECT_EQ(InKit("Talvor Imaging/Framory/framory.exe"), c.camera);
}

INSTANTIATE_TEST_SUITE_P(FourCombinations, SetupTypeValues,
                         ::testing::Values(Combination{false, false, "N", "N", "Y", "N"},
                                           Combination{true, false, "Y", "N", "Y", "N"},
                                           Combination{false, true, "N", "Y", "Y", "Y"},
                                           Combination{true, true, "Y", "Y", "Y", "Y"}));

TEST_F(EngineTest, EntriesAreWrittenInTheirOrderAndEachKeyKeepsOneLine) {
  BuildMedium(tree);
  tree.MakeDir("kit");
  RecordingFileSystem recorder(*fs);
  RunRedistribution(recorder, feedback, SourceRoot(), DestRoot(), WithPackages(true, true));
  std::vector<std::string> writes;
  for (const Operation& operation : recorder.operations()) {
    if (operation.kind == OperationKind::kWriteProfile) {
      EXPECT_EQ(operation.path, DestRoot() + "\\Talvor Imaging\\Vok\\SetupType.txt");
      writes.push_back(operation.section + "/" + operation.key + "=" + operation.value);
    }
  }
  EXPECT_EQ(writes,
            (std::vector<std::string>{"PRODUCT/VokDevelopment=N", "SELECTED/VokDevelopment=N",
                                      "PRODUCT/QuenzoDevelopment=N", "PRODUCT/QuenzoRuntime=N",
                                      "SELECTED/Framory=N", "PRODUCT/Framory=N", "PRODUCT/KRT=N",
                                      "PRODUCT/QuenzoRuntime=Y", "SELECTED/QuenzoRuntime=Y",
                                      "PRODUCT/Framory=Y", "SELECTED/Framory=Y"}));
  const std::string kit = Kit(kKitSetupType);
  std::size_t lines = 0;
  for (std::size_t at = kit.find("QuenzoRuntime="); at != std::string::npos;
       at = kit.find("QuenzoRuntime=", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 2u);  // one in each section
}

TEST_F(EngineTest, RuntimeStepCopiesItsFolderAndTwoFilesOnly) {
  Run(DefaultSelection());
  EXPECT_EQ(Kit("Talvor Imaging/Vok/dll/vokcore.dll"), "Talvor Imaging/Vok/Dll/vokcore.dll");
  EXPECT_EQ(Kit("Talvor Imaging/Vok/dll/Plugins/vokplugin.dll"),
            "Talvor Imaging/Vok/Dll/Plugins/vokplugin.dll");
  EXPECT_EQ(Kit("Talvor Imaging/Vok/Revision.txt"), "Talvor Imaging/Vok/Revision.txt");
  EXPECT_FALSE(InKit("Talvor Imaging/Vok/Include"));
  EXPECT_FALSE(InKit("Talvor Imaging/Quenzo"));
  EXPECT_FALSE(InKit("Talvor Imaging/Framory"));
}

TEST_F(EngineTest, ControlPackageCopiesOnlyControls) {
  Run(WithPackages(true, false));
  EXPECT_TRUE(InKit("Talvor Imaging/Quenzo/Controls/quenzo.ocx"));
  EXPECT_FALSE(InKit("Talvor Imaging/Quenzo/Samples"));
}

TEST_F(EngineTest, ReadOnlySetupTypeOnTheMediumIsStillEdited) {
  BuildMedium(tree);
  tree.MakeReadOnly("medium/Talvor Imaging/Vok/SetupType.txt");
  Run(DefaultSelection());
  EXPECT_FALSE(tree.IsReadOnly("kit/Talvor Imaging/Vok/SetupType.txt"));
  EXPECT_EQ(ReadSetupType(Kit(kKitSetupType))["PRODUCT/KRT"], "N");
}

TEST_F(EngineTest, MissingKeysAndSectionsAreAdded) {
  BuildMedium(tree);
  tree.Write("medium/Talvor Imaging/Vok/SetupType.txt",
             "[PRODUCT]\r\nVokRuntime=Y\r\nVokDevelopment=Y\r\n");
  Run(WithPackages(true, false));
  auto values = ReadSetupType(Kit(kKitSetupType));
  EXPECT_EQ(values["PRODUCT/KRT"], "N");
  EXPECT_EQ(values["PRODUCT/VOKRUNTIME"], "Y");
  EXPECT_EQ(values["SELECTED/VOKDEVELOPMENT"], "N");
  EXPECT_EQ(values["SELECTED/FRAMORY"], "N");
  EXPECT_EQ(values["SELECTED/QUENZORUNTIME"], "Y");
  const std::string kit = Kit(kKitSetupType);
  EXPECT_EQ(kit.rfind("[PRODUCT]\r\nVokRuntime=Y\r\nVokDevelopment=N\r\n", 0), 0u) << kit;
  EXPECT_LT(kit.find("KRT=N"), kit.find("[SELECTED]"));
}

TEST_F(EngineTest, MediumWithoutSetupTypeGetsANewFileOfThisRunEntries) {
  BuildMedium(tree);
  std::remove(tree.Path("medium/Talvor Imaging/Vok/SetupType.txt").c_str());
  Run(DefaultSelection());
  const std::string kit = Kit(kKitSetupType);
  EXPECT_EQ(kit.find("[PRODUCT]"), 0u);
  EXPECT_LT(kit.find("[PRODUCT]"), kit.find("[SELECTED]"));
  EXPECT_EQ(ReadSetupType(kit).size(), 7u);
}

TEST_F(EngineTest, SecondRunWithoutControlPackageLeavesSelectedQuenzoRuntime) {
  BuildMedium(tree);
  tree.Write("medium/Talvor Imaging/Vok/SetupType.txt", "[PRODUCT]\r\nKRT=Y\r\n");
  Run(WithPackages(true, false));
  Run(WithPackages(false, false));
  auto values = ReadSetupType(Kit(kKitSetupType));
  EXPECT_EQ(values["PRODUCT/QUENZORUNTIME"], "N");
  EXPECT_EQ(values["SELECTED/QUENZORUNTIME"], "Y");
}

TEST_F(EngineTest, PackageWithoutRuntimeStepWritesOnlyIntoAnExistingFolder) {
  KitSelection selection;
  selection.cameraTool = true;
  Run(selection);
  EXPECT_FALSE(InKit("Talvor Imaging/Vok"));  // the write cannot create the folder
  EXPECT_TRUE(InKit("Talvor Imaging/Framory/framory.exe"));
  tree.MakeDir("kit/Talvor Imaging/Vok");
  Run(selection);
  auto values = ReadSetupType(Kit(kKitSetupType));
  EXPECT_EQ(values["PRODUCT/FRAMORY"], "Y");
  EXPECT_EQ(values.size(), 2u);
}

TEST_F(EngineTest, CameraToolMissingOnTheMediumStillCreatesItsFolderAndWritesY) {
  BuildMedium(tree);
  std::remove(tree.Path("medium/Talvor Imaging/Framory/framory.exe").c_str());
  std::remove(tree.Path("medium/Talvor Imaging/Framory").c_str());
  Run(WithPackages(false, true));
  EXPECT_TRUE(InKit("Talvor Imaging/Framory"));
  EXPECT_EQ(ReadSetupType(Kit(kKitSetupType))["SELECTED/FRAMORY"], "Y");
  EXPECT_NE(std::find(feedback.statuses.begin(), feedback.statuses.end(),
                      "Copying Talvor Framory Files..."),
            feedback.statuses.end());
}

}  // namespace
}  // namespace vostrel::testing
