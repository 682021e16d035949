// The image of a kit as a release: the same kit gives the same bytes
// whenever it is built, its checksum is said, and --verify reads it back
// against the medium. Damaged images are made by xorriso from damaged kits.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifndef _WIN32

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "cli/sha256.h"
#include "tests/cli/kit_process.h"

namespace vostrel::testing {
namespace {

namespace fs = std::filesystem;

class KitImage : public ::testing::Test {
 protected:
  KitImage() { MakeMedium(tree_); }
  ~KitImage() override { unsetenv("SOURCE_DATE_EPOCH"); }

  KitResult Kit(const std::string& kit, std::vector<std::string> more) {
    std::vector<std::string> arguments = {"--source", tree_.Path("medium"), "--dest",
                                          tree_.Path(kit)};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return RunKitProcess(arguments);
  }

  // The dates xorriso lists for every item of the image, in the Rock Ridge
  // or (`joliet`) the Joliet tree, to the day.
  std::set<std::string> Days(const std::string& image, bool joliet) {
    int status = 0;
    const std::string listing =
        Shell(std::string("xorriso ") + (joliet ? "-read_fs norock " : "") + "-indev " +
                  Quoted(tree_.Path(image)) + " -find / -exec lsdl 2>/dev/null",
              status);
    EXPECT_EQ(status, 0);
    std::set<std::string> days;
    for (const std::string& line : Lines(listing)) {
      const std::size_t name = line.find(" '");
      if (name != std::string::npos && name >= 12) days.insert(line.substr(name - 12, 12));
    }
    return days;
  }

  TempTree tree_;
};

TEST_F(KitImage, OneKitGivesOneImageWhenEverItIsBuilt) {
  ASSERT_TRUE(HaveTool("xorriso"));
  KitResult first = Kit("kit1", {"--iso", tree_.Path("a.iso"), "--report", tree_.Path("r.json")});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  sleep(2);  // the dates of the run would differ
  ASSERT_EQ(Kit("kit2", {"--iso", tree_.Path("b.iso")}).exitCode, 0);
  EXPECT_EQ(tree_.Read("a.iso"), tree_.Read("b.iso"));

  // The checksum in the summary and the report is the image's own.
  std::string digest, error;
  ASSERT_TRUE(cli::Sha256OfFile(tree_.Path("a.iso"), digest, error)) << error;
  EXPECT_TRUE(
      Has(first.err, "vostrel-kit: image " + tree_.Path("a.iso") + " (volume TALVOR_KIT): "))
      << first.err;
  EXPECT_TRUE(Has(first.err, " bytes, sha256 " + digest + "\n")) << first.err;
  const nlohmann::json report = nlohmann::json::parse(tree_.Read("r.json"));
  EXPECT_EQ(report["image"]["sha256"], digest);
  EXPECT_EQ(report["image"]["bytes"], fs::file_size(tree_.Path("a.iso")));

  // 2001-09-09 01:46:40 UTC, older than every file of the medium.
  setenv("SOURCE_DATE_EPOCH", "1000000000", 1);
  ASSERT_EQ(Kit("kit3", {"--iso", tree_.Path("c.iso")}).exitCode, 0);
  sleep(1);
  ASSERT_EQ(Kit("kit4", {"--iso", tree_.Path("d.iso")}).exitCode, 0);
  EXPECT_EQ(tree_.Read("c.iso"), tree_.Read("d.iso"));
  EXPECT_NE(tree_.Read("a.iso"), tree_.Read("c.iso"));
  for (bool joliet : {false, true}) {
    EXPECT_EQ(Days("c.iso", joliet), (std::set<std::string>{"Sep  9  2001"})) << joliet;
  }
  int status = 0;
  const std::string pvd =
      Shell("xorriso -indev " + Quoted(tree_.Path("c.iso")) + " -pvd_info 2>/dev/null", status);
  EXPECT_TRUE(Has(pvd, "Creation Time: 2001090901464000")) << pvd;
  EXPECT_TRUE(Has(pvd, "Modif. Time  : 2001090901464000")) << pvd;

  setenv("SOURCE_DATE_EPOCH", "soon", 1);
  KitResult refused = Kit("kit5", {"--iso", tree_.Path("e.iso")});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_TRUE(Has(refused.err, "SOURCE_DATE_EPOCH")) << refused.err;
  EXPECT_FALSE(tree_.Exists("kit5"));
}

TEST_F(KitImage, VerifyReadsTheImageAndNamesEachDamage) {
  ASSERT_TRUE(HaveTool("xorriso"));
  ASSERT_EQ(Kit("kit", {"--iso", tree_.Path("good.iso")}).exitCode, 0);
  KitResult good = Kit("good.iso", {"--verify", "--manifest", tree_.Path("SHA256SUMS")});
  EXPECT_EQ(good.exitCode, 0) << good.out << good.err;
  EXPECT_TRUE(Has(good.err, "the kit matches the medium and the selection")) << good.err;
  int status = 0;
  Shell("cd " + Quoted(tree_.Path("kit")) + " && sha256sum --quiet -c ../SHA256SUMS", status);
  EXPECT_EQ(status, 0);

  struct Damage {
    std::function<void(const std::string& kit)> make;
    std::string said;
  };
  const std::vector<Damage> damages = {
      {[this](const std::string& kit) { tree_.Write(kit + "/setup.ini", "[Setup]x"); },
       "content differs: setup.ini"},
      {[this](const std::string& kit) {
         fs::remove(tree_.Path(kit + "/Talvor Imaging/Tools/vokdrv.exe"));
       },
       "missing file: Talvor Imaging/Tools/vokdrv.exe"},
      {[this](const std::string& kit) { tree_.Write(kit + "/notes.txt", "stray"); },
       "extra file: notes.txt"},
      {[this](const std::string& kit) {
         const std::string file = kit + "/Talvor Imaging/Vok/SetupType.txt";
         std::string text = tree_.Read(file);
         text.replace(text.find("KRT=N"), 5, "KRT=Y");
         tree_.Write(file, text);
       },
       "setup-type differs: [PRODUCT] KRT is Y, expected N"},
  };
  for (const Damage& damage : damages) {
    fs::remove_all(tree_.Path("bad"));
    fs::copy(tree_.Path("kit"), tree_.Path("bad"), fs::copy_options::recursive);
    for (const auto& item : fs::recursive_directory_iterator(tree_.Path("bad"))) {
      fs::permissions(item.path(), fs::perms::owner_write, fs::perm_options::add);
    }
    damage.make("bad");
    fs::remove(tree_.Path("bad.iso"));
    Shell("xorriso -as mkisofs -R -J -joliet-long -o " + Quoted(tree_.Path("bad.iso")) + " " +
              Quoted(tree_.Path("bad")) + " >/dev/null 2>&1",
          status);
    ASSERT_EQ(status, 0) << damage.said;
    KitResult check = Kit("bad.iso", {"--verify"});
    EXPECT_EQ(check.exitCode, 1) << damage.said << check.err;
    EXPECT_EQ(Lines(check.out), std::vector<std::string>{damage.said}) << check.out;
  }

  // An image cut short cannot be read.
  tree_.Write("cut.iso", tree_.Read("good.iso").substr(0, 40000));
  KitResult cut = Kit("cut.iso", {"--verify"});
  EXPECT_EQ(cut.exitCode, 2) << cut.err;
  EXPECT_TRUE(Has(cut.err, "cannot read the image")) << cut.err;
}

}  // namespace
}  // namespace vostrel::testing

#endif
