// vostrel-kit --verify on real kits: built by the tool, then damaged the way
// kits get damaged (a file lost or edited, a stray file, a hand-edited
// setup-type file, a rerun that stopped early).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/kit_process.h"

namespace vostrel::testing {
namespace {

const std::string kSetupType = "kit/Talvor Imaging/Vok/SetupType.txt";

void MakeWritable(const TempTree& tree, const std::string& relative) {
  std::filesystem::permissions(tree.Path(relative), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
}

class KitVerify : public ::testing::Test {
 protected:
  KitVerify() { MakeMedium(tree_); }

  KitResult Kit(const std::string& mode, std::vector<std::string> more) {
    std::vector<std::string> arguments = {"--source", tree_.Path("medium/setup.exe"), "--dest",
                                          tree_.Path("kit")};
    if (!mode.empty()) arguments.insert(arguments.begin(), mode);
    arguments.insert(arguments.end(), more.begin(), more.end());
    return RunKitProcess(arguments);
  }
  KitResult Build(std::vector<std::string> more = {}) { return Kit("", std::move(more)); }
  KitResult Verify(std::vector<std::string> more = {}) { return Kit("--verify", std::move(more)); }

  void Replace(const std::string& relative, const std::string& from, const std::string& to) {
    std::string text = tree_.Read(relative);
    std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " in " << text;
    tree_.Write(relative, text.replace(at, from.size(), to));
  }

  TempTree tree_;
};

TEST_F(KitVerify, FreshKitMatchesAndTheCheckWritesNothing) {
  const std::vector<std::string> selection = {"--quenzo", "--framory", "--board",
                                              "Ardune",   "--board",   "jurano"};
  ASSERT_EQ(Build(selection).exitCode, 0);
  const auto before = tree_.Snapshot();

  KitResult check = Verify(selection);
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
  EXPECT_EQ(check.out, "");
  EXPECT_TRUE(Has(check.err, "the kit matches")) << check.err;
  EXPECT_EQ(tree_.Snapshot(), before);
}

TEST_F(KitVerify, EachDifferenceIsNamedOnce) {
  ASSERT_EQ(Build().exitCode, 0);
  std::filesystem::remove(tree_.Path("kit/Talvor Imaging/Tools/vokdrv.exe"));
  std::filesystem::remove_all(tree_.Path("kit/Talvor Imaging/Drivers/Host"));
  tree_.Write("kit/Talvor Imaging/Drivers/DMA/driver.sys",
              "Talvor Imaging/Drivers/DMA/drivex.sys\n");
  tree_.Write("kit/notes.txt", "stray");
  tree_.Write("kit/Old/a.txt", "a");
  tree_.Write("kit/Old/b/c.txt", "c");
  tree_.Write("kit/Talvor Imaging/Vok/dll/vokpellam.dll", "back again");
  Replace(kSetupType, "KRT=N", "KRT=Y");
  tree_.MakeReadOnly("kit/setup.ini");
  const auto before = tree_.Snapshot();

  KitResult check = Verify();
  EXPECT_EQ(check.exitCode, 1) << check.err;
  EXPECT_EQ(Lines(check.out),
            (std::vector<std::string>{
                "extra folder: Old (2 files in it)",
                "content differs: Talvor Imaging/Drivers/DMA/driver.sys",
                "missing folder: Talvor Imaging/Drivers/Host (1 file expected in it)",
                "missing file: Talvor Imaging/Tools/vokdrv.exe",
                "setup-type differs: [PRODUCT] KRT is Y, expected N",
                "extra file: Talvor Imaging/Vok/dll/vokpellam.dll (the run removes it for this "
                "selection)",
                "extra file: notes.txt",
                "read-only differs: setup.ini (expected writable)",
            }));
  EXPECT_TRUE(Has(check.err, "8 differences")) << check.err;
  EXPECT_EQ(tree_.Snapshot(), before);

  // Stdout silenced or taken by the manifest: each line goes to stderr.
  const std::vector<std::vector<std::string>> elsewhere = {
      {"--quiet"}, {"--manifest", "-"}, {"--quiet", "--manifest", "-"}};
  for (const std::vector<std::string>& more : elsewhere) {
    KitResult moved = Verify(more);
    EXPECT_EQ(moved.exitCode, 1) << moved.err;
    std::vector<std::string> said;
    for (const std::string& line : Lines(moved.err)) {
      if (line.rfind("vostrel-kit: ", 0) == 0) said.push_back(line.substr(13));
    }
    std::vector<std::string> expected = Lines(check.out);
    said.resize(std::min(said.size(), expected.size()));
    EXPECT_EQ(said, expected) << more.back();
    EXPECT_FALSE(Has(moved.out, "extra file")) << more.back();
  }
}

TEST_F(KitVerify, RerunThatStoppedAtAnExistingFileNamesTheWalk) {
  ASSERT_EQ(Build({"--board", "all"}).exitCode, 0);
  // Lost after the first run; the rerun's walk of the runtime folder ends
  // at the first library it finds present, so it never brings them back.
  std::filesystem::remove(tree_.Path("kit/Talvor Imaging/Vok/dll/vokcalvex.dll"));
  std::filesystem::remove(tree_.Path("kit/Talvor Imaging/Vok/dll/voknuvaro.dll"));
  KitResult rerun = Build({"--board", "all"});
  ASSERT_EQ(rerun.exitCode, 1) << rerun.err;

  KitResult check = Verify({"--board", "all"});
  EXPECT_EQ(check.exitCode, 1);
  const std::string cause =
      " (the walk of Talvor Imaging/Vok/dll stopped at existing file Talvor "
      "Imaging/Vok/dll/vok.dll)";
  EXPECT_EQ(Lines(check.out), (std::vector<std::string>{
                                  "missing file: Talvor Imaging/Vok/dll/vokcalvex.dll" + cause,
                                  "missing file: Talvor Imaging/Vok/dll/voknuvaro.dll" + cause,
                              }));
}

TEST_F(KitVerify, ASelectionOtherThanTheKitsShowsWhereTheyPart) {
  ASSERT_EQ(Build({"--quenzo", "--board", "Tobrin"}).exitCode, 0);
  KitResult check = Verify({"--no-video-card"});
  EXPECT_EQ(check.exitCode, 1);
  EXPECT_EQ(
      Lines(check.out),
      (std::vector<std::string>{
          "extra folder: Talvor Imaging/Drivers/PELUX (1 file in it; the video card is not "
          "chosen)",
          "extra folder: Talvor Imaging/Drivers/Tobrin (1 file in it; the board Tobrin is not "
          "chosen)",
          "extra folder: Talvor Imaging/Quenzo (1 file in it; --quenzo is not chosen)",
          "setup-type differs: [PRODUCT] QuenzoRuntime is Y, expected N",
          "setup-type differs: [SELECTED] QuenzoRuntime is Y, expected absent",
          "extra file: Talvor Imaging/Vok/dll/voktobrin.dll (the run removes it for this "
          "selection)",
      }));
}

TEST_F(KitVerify, SetupTypeIsComparedEntryByEntry) {
  const std::string medium = "medium/Talvor Imaging/Vok/SetupType.txt";
  MakeWritable(tree_, medium);
  tree_.Write(medium,
              "; pressed for release 7\r\n[PRODUCT]\r\nVokDevelopment=Y\r\nLegacy=Y\r\n"
              "[SELECTED]\r\nFramory=Y\r\n");
  ASSERT_EQ(Build().exitCode, 0);

  // The same entries in another order, case and spacing, without the
  // comment: still the same file to its reader.
  tree_.Write(kSetupType,
              "[selected]\nframory = N\nvokdevelopment=N\n[Product]\nKRT=N\nLEGACY=Y\n"
              "Framory=N\nQuenzoRuntime=N\nQuenzoDevelopment=N\nVokDevelopment=N\n");
  KitResult same = Verify();
  EXPECT_EQ(same.exitCode, 0) << same.out;

  Replace(kSetupType, "LEGACY=Y\n", "");
  Replace(kSetupType, "framory = N", "framory = ");
  tree_.Write(kSetupType, tree_.Read(kSetupType) + "[Extra]\nA=1\n");
  KitResult changed = Verify();
  EXPECT_EQ(changed.exitCode, 1);
  EXPECT_EQ(Lines(changed.out), (std::vector<std::string>{
                                    "setup-type differs: [PRODUCT] Legacy is absent, expected Y",
                                    "setup-type differs: [SELECTED] Framory is empty, expected N",
                                    "setup-type differs: [Extra] is present, expected absent",
                                }));

  std::filesystem::remove(tree_.Path(kSetupType));
  KitResult gone = Verify();
  EXPECT_EQ(Lines(gone.out),
            (std::vector<std::string>{"missing file: Talvor Imaging/Vok/SetupType.txt"}));
}

TEST_F(KitVerify, SetupTypeInUtf16IsReadAsItsReaderReadsIt) {
  const std::string medium = "medium/Talvor Imaging/Vok/SetupType.txt";
  MakeWritable(tree_, medium);
  std::string wide = "\xFF\xFE";
  for (char c : tree_.Read(medium)) wide += std::string{c, '\0'};
  tree_.Write(medium, wide);
  ASSERT_EQ(Build().exitCode, 0);
  ASSERT_EQ(tree_.Read(kSetupType).substr(0, 2), "\xFF\xFE");

  KitResult check = Verify();
  EXPECT_EQ(check.exitCode, 0) << check.out;
  EXPECT_EQ(check.out, "");
}

#ifndef _WIN32
// On Linux names are UTF-8 and the file system finds them by the name key;
// on Windows the system itself decides which names are one.
TEST_F(KitVerify, NamesDifferingOnlyInCaseAreOneFileToEveryMode) {
  tree_.Write("medium/Talvor Imaging/Vok/dll/Ärger.txt", "a\n");
  ASSERT_EQ(Build().exitCode, 0);
  std::filesystem::rename(tree_.Path("kit/Talvor Imaging/Vok/dll/Ärger.txt"),
                          tree_.Path("kit/Talvor Imaging/Vok/dll/ärger.txt"));
  const struct {
    std::vector<std::string> arguments;
    std::string said;
  } modes[] = {
      {{"--verify"}, "the kit matches"},
      {{"--dry-run", "--resume"}, "would keep 19 files"},
      {{"--resume"}, " 19 files kept"},
  };
  for (const auto& mode : modes) {
    KitResult run = Build(mode.arguments);
    EXPECT_EQ(run.exitCode, 0) << mode.arguments[0] << run.out << run.err;
    EXPECT_TRUE(Has(run.err, mode.said)) << run.err;
    EXPECT_FALSE(Has(run.out + run.err, "rger.txt")) << run.out << run.err;
  }
  const auto kit = tree_.Snapshot("kit/Talvor Imaging/Vok/dll");
  EXPECT_EQ(kit.count("ärger.txt"), 1u);
  EXPECT_EQ(kit.count("Ärger.txt"), 0u);
}
#endif

TEST_F(KitVerify, WrongKindsStandInForEachOther) {
  ASSERT_EQ(Build().exitCode, 0);
  std::filesystem::remove_all(tree_.Path("kit/Talvor Imaging/Drivers/TalvorAux"));
  tree_.Write("kit/Talvor Imaging/Drivers/TalvorAux", "a file where a folder belongs");
  std::filesystem::remove(tree_.Path("kit/data1.cab"));
  tree_.Write("kit/data1.cab/inside.txt", "a folder where a file belongs");

  KitResult check = Verify();
  EXPECT_EQ(check.exitCode, 1);
  EXPECT_EQ(Lines(check.out),
            (std::vector<std::string>{
                "missing folder: Talvor Imaging/Drivers/TalvorAux (a file stands in its place; 1 "
                "file expected in it)",
                "missing file: data1.cab (a folder stands in its place)",
            }));
}

TEST_F(KitVerify, RefusalsExitTwo) {
  ASSERT_EQ(Build().exitCode, 0);
  tree_.Write("file.txt", "not a folder");
  const auto before = tree_.Snapshot();
  const std::string medium = tree_.Path("medium/setup.exe");
  struct Case {
    std::vector<std::string> arguments;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"--dry-run"}, "--dry-run"},
      {{"--iso", tree_.Path("kit.iso")}, "--iso"},
      {{"--report", tree_.Path("r.json")}, "--report"},
      {{"--resume"}, "--resume"},
  };
  for (const Case& c : cases) {
    KitResult run = Verify(c.arguments);
    EXPECT_EQ(run.exitCode, 2) << c.err;
    EXPECT_TRUE(Has(run.err, c.err)) << run.err;
  }
  KitResult missing = RunKitProcess({"--verify", "--source", medium, "--dest", tree_.Path("none")});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_EQ(missing.err, "vostrel-kit: destination not found: " + tree_.Path("none") + "\n");
  KitResult file =
      RunKitProcess({"--verify", "--source", medium, "--dest", tree_.Path("file.txt")});
  EXPECT_EQ(file.exitCode, 2);
  EXPECT_TRUE(Has(file.err, "not a folder")) << file.err;
  KitResult noSource = RunKitProcess({"--verify", "--dest", tree_.Path("kit")});
  EXPECT_EQ(noSource.exitCode, 2);
  EXPECT_EQ(noSource.err, "Must Select the Source for Redistribution\n");
  EXPECT_EQ(tree_.Snapshot(), before);
}

TEST(KitHelp, DescribesTheChecksAndOutputs) {
  KitResult help = RunKitProcess({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* option : {"--verify", "--manifest FILE", "--iso FILE", "--volume-id ID"}) {
    EXPECT_TRUE(Has(help.out, option)) << option;
  }
}

}  // namespace
}  // namespace vostrel::testing
