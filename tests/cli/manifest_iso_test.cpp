// What vostrel-kit makes from a finished kit: the checksum list, checked by
// sha256sum itself, and the CD image, read back by xorriso.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#endif

#include "cli/sha256.h"
#include "tests/cli/kit_process.h"

namespace vostrel::testing {
namespace {

namespace fs = std::filesystem;

std::set<std::string> FilesOf(const std::map<std::string, std::string>& snapshot) {
  std::set<std::string> files;
  for (const auto& [path, content] : snapshot) {
    if (content != "/") files.insert(path);
  }
  return files;
}

class KitOutputs : public ::testing::Test {
 protected:
  KitOutputs() { MakeMedium(tree_); }

  KitResult Build(std::vector<std::string> more = {}) {
    std::vector<std::string> arguments = {"--source", tree_.Path("medium"), "--dest",
                                          tree_.Path("kit")};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return RunKitProcess(arguments);
  }

  TempTree tree_;
};

TEST(Sha256, KnownDigestsAcrossReadChunks) {
  TempTree tree;
  tree.Write("empty", "");
  tree.Write("abc", "abc");
  tree.Write("big", std::string(1000000, 'a'));
  tree.Write("bigger", std::string((1 << 20) + 1, 'b'));
  struct Case {
    const char* file;
    const char* digest;
  };
  for (const Case& c : {
           Case{"empty", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
           Case{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
           Case{"big", "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
       }) {
    std::string digest, error;
    ASSERT_TRUE(cli::Sha256OfFile(tree.Path(c.file), digest, error)) << error;
    EXPECT_EQ(digest, c.digest) << c.file;
  }
  // A file one byte past the read chunk differs from its own first chunk.
  std::string whole, error;
  ASSERT_TRUE(cli::Sha256OfFile(tree.Path("bigger"), whole, error));
  tree.Write("chunk", std::string(1 << 20, 'b'));
  std::string chunk;
  ASSERT_TRUE(cli::Sha256OfFile(tree.Path("chunk"), chunk, error));
  EXPECT_NE(whole, chunk);
  EXPECT_FALSE(cli::Sha256OfFile(tree.Path("missing"), whole, error));
}

TEST_F(KitOutputs, ManifestListsEveryFileSortedWithForwardSlashes) {
  tree_.Write("medium/Talvor Imaging/Vok/dll/Zeta.dll", "z");
  tree_.Write("medium/Talvor Imaging/Vok/dll/alpha.dll", "a");
  const std::string manifest = tree_.Path("kit.sha256");
  KitResult run = Build({"--manifest", manifest});
  ASSERT_EQ(run.exitCode, 0) << run.err;

  std::vector<std::string> paths;
  std::string previous;
  for (const std::string& line : Lines(tree_.Read("kit.sha256"))) {
    ASSERT_GT(line.size(), 66u) << line;
    EXPECT_EQ(line.find_first_not_of("0123456789abcdef"), 64u) << line;
    EXPECT_EQ(line.substr(64, 2), "  ") << line;
    std::string path = line.substr(66);
    EXPECT_LT(previous, path);  // sorted by bytes: "Zeta" before "alpha"
    previous = path;
    paths.push_back(path);
    std::string digest, error;
    ASSERT_TRUE(cli::Sha256OfFile(tree_.Path("kit/" + path), digest, error)) << path;
    EXPECT_EQ(line.substr(0, 64), digest) << path;
  }
  EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()), FilesOf(tree_.Snapshot("kit")));
  EXPECT_TRUE(Has(run.err, "manifest " + manifest + ": " + std::to_string(paths.size())))
      << run.err;

  // With --verify the list is of what the kit holds, stray files included.
  tree_.Write("kit/stray.txt", "x");
  KitResult check = RunKitProcess({"--verify", "--source", tree_.Path("medium"), "--dest",
                                   tree_.Path("kit"), "--manifest", manifest});
  EXPECT_EQ(check.exitCode, 1);
  EXPECT_EQ(Lines(tree_.Read("kit.sha256")).size(), paths.size() + 1);
}

// Every output path that cannot be written, judged before the kit is
// touched: exit 2 and nothing written anywhere.
TEST_F(KitOutputs, OutputPathsAreJudgedBeforeTheKitIsTouched) {
  tree_.Write("kit/setup.ini", "a kit file");
  struct Case {
    std::vector<std::string> arguments;
    std::string err;
  };
  std::vector<Case> cases = {
      {{"--report", ""}, "--report needs a file name"},
      {{"--manifest", ""}, "--manifest needs a file name"},
      {{"--report", tree_.Path("medium/setup.exe")}, "inside the medium"},
      {{"--manifest", tree_.Path("medium/Talvor Imaging/list")}, "inside the medium"},
      {{"--report", tree_.Path("kit/setup.ini")}, "inside the kit"},
      {{"--manifest", tree_.Path("kit/SHA256SUMS")}, "inside the kit"},
      {{"--manifest", tree_.Path("no/such/list")}, "folder does not exist"},
      {{"--report", tree_.Path("medium")}, "is a folder"},
      {{"--report", "-", "--manifest", "-"}, "standard output"},
      {{"--manifest", tree_.Path("m"), "--dry-run"}, "--dry-run"},
      {{"--manifest", tree_.Path("m"), "--report", tree_.Path("m")}, "two outputs"},
      {{"--volume-id", "KIT"}, "--volume-id needs --iso"},
  };
#ifdef _WIN32
  cases.push_back({{"--iso", tree_.Path("kit.iso")}, "--iso is not available on Windows"});
#else
  // Links are followed: what they lead to is judged.
  fs::create_symlink(tree_.Path("medium/setup.exe"), tree_.Path("to-medium"));
  fs::create_symlink(tree_.Path("kit/new.json"), tree_.Path("into-kit"));
  cases.push_back({{"--report", tree_.Path("to-medium")}, "inside the medium"});
  cases.push_back({{"--manifest", tree_.Path("into-kit")}, "inside the kit"});
  cases.push_back({{"--manifest", tree_.Path("m"), "--report", tree_.Path("to-m")}, "two outputs"});
  fs::create_symlink(tree_.Path("m"), tree_.Path("to-m"));
  cases.push_back({{"--iso", "-"}, "standard output"});
  cases.push_back({{"--iso", tree_.Path("kit/kit.iso")}, "inside the kit"});
  cases.push_back({{"--iso", tree_.Path("kit.iso"), "--dry-run"}, "--dry-run"});
  cases.push_back({{"--iso", tree_.Path("kit.iso"), "--volume-id", "talvor kit"}, "A-Z"});
  cases.push_back(
      {{"--iso", tree_.Path("kit.iso"), "--volume-id", std::string(33, 'K')}, "32 characters"});
#endif
  const auto before = tree_.Snapshot();
  for (const Case& c : cases) {
    KitResult run = Build(c.arguments);
    EXPECT_EQ(run.exitCode, 2) << c.arguments[1] << "\n" << run.err;
    EXPECT_TRUE(Has(run.err, c.err)) << run.err;
    EXPECT_EQ(tree_.Snapshot(), before) << c.arguments[1];
  }
}

// "-" is standard output, which then carries that output alone; a device is
// written into; a link leads to where the output goes and stays a link.
TEST_F(KitOutputs, OutputsGoToStandardOutputDevicesAndWhereLinksLead) {
  KitResult run = Build({"--report", "-"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(nlohmann::json::parse(run.out)["exit_code"], 0);
#ifdef _WIN32
  const std::string device = "NUL";
#else
  const std::string device = "/dev/null";
  fs::create_symlink(tree_.Path("out/list"), tree_.Path("list-link"));
  tree_.MakeDir("out");
#endif
  run = Build({"--resume", "--manifest", device});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Has(run.err, "manifest " + device + ": ")) << run.err;
#ifndef _WIN32
  run = Build({"--resume", "--manifest", tree_.Path("list-link")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(fs::is_symlink(tree_.Path("list-link")));
  EXPECT_EQ(Lines(tree_.Read("out/list")).size(), FilesOf(tree_.Snapshot("kit")).size());
#endif
}

#ifndef _WIN32

TEST_F(KitOutputs, Sha256sumChecksTheManifest) {
  ASSERT_TRUE(HaveTool("sha256sum"));
  // sha256sum escapes names holding a backslash; the list must too.
  tree_.Write("medium/Talvor Imaging/Framory/Docs/Read Me.txt", "spaces");
  const std::string manifest = tree_.Path("SHA256SUMS");
  ASSERT_EQ(Build({"--framory", "--manifest", manifest}).exitCode, 0);
  tree_.Write("kit/odd\\name.txt", "added by hand");
  // Inside an extra folder it is counted with the folder: '\' parts no path.
  tree_.Write("kit/Stray/odd\\inner.txt", "added by hand");
  KitResult check = RunKitProcess({"--verify", "--framory", "--source", tree_.Path("medium"),
                                   "--dest", tree_.Path("kit"), "--manifest", manifest});
  EXPECT_EQ(check.exitCode, 1);
  EXPECT_TRUE(Has(check.out, "extra file: odd\\name.txt (a name Windows cannot hold)"))
      << check.out;
  EXPECT_TRUE(Has(check.out, "extra folder: Stray (1 file in it)\n")) << check.out;

  int status = 0;
  std::string said =
      Shell("cd " + Quoted(tree_.Path("kit")) + " && sha256sum -c " + Quoted(manifest), status);
  EXPECT_EQ(status, 0) << said;
  EXPECT_TRUE(Has(said, "Talvor Imaging/Framory/Docs/Read Me.txt: OK")) << said;
  EXPECT_TRUE(Has(said, "odd\\name.txt: OK")) << said;

  tree_.Write("kit/Talvor Imaging/Framory/framory.exe", "tampered");
  said = Shell(
      "cd " + Quoted(tree_.Path("kit")) + " && sha256sum -c --quiet " + Quoted(manifest) + " 2>&1",
      status);
  EXPECT_NE(status, 0);
  EXPECT_TRUE(Has(said, "Talvor Imaging/Framory/framory.exe: FAILED")) << said;
}

// The files of an image as xorriso lists them, from the Rock Ridge tree or
// (`joliet`) from the Joliet tree that Windows reads.
std::set<std::string> ImageFiles(const std::string& image, bool joliet) {
  int status = 0;
  std::string listing = Shell(std::string("xorriso ") + (joliet ? "-read_fs norock " : "") +
                                  "-indev " + Quoted(image) + " -find / -type f 2>/dev/null",
                              status);
  EXPECT_EQ(status, 0);
  std::set<std::string> files;
  for (std::string line : Lines(listing)) {
    // '/path/name', with a quote inside written as '"'"'
    if (line.size() < 3 || line.front() != '\'' || line.back() != '\'') continue;
    files.insert(line.substr(1, line.size() - 2));
  }
  return files;
}

TEST_F(KitOutputs, ImageHoldsExactlyTheKitUnderLongAndMixedCaseNames) {
  ASSERT_TRUE(HaveTool("xorriso"));
  ASSERT_TRUE(HaveTool("osirrox"));
  const std::string long80 =
      "Camera Link Configuration For The Talvor Frame Grabber Series 2 Ed.dll";
  const std::string long100 = "Ca" + std::string(94, 'x') + ".ini";  // Joliet's own limit is 64
  ASSERT_GT(long80.size(), 64u);
  tree_.Write("medium/Talvor Imaging/Vok/dll/" + long80, "long");
  tree_.Write("medium/Talvor Imaging/Vok/dll/MiXeD CaSe/" + long100, "deep");
  tree_.Write("medium/Talvor Imaging/Vok/dll/Caf\xc3\xa9.dll", "utf-8");
  tree_.Write("medium/Talvor Imaging/Vok/dll/big.bin", std::string(300000, '\x7f'));
  tree_.Write("medium/Talvor Imaging/Vok/dll/empty.dll", "");

  const std::string image = tree_.Path("out/kit.iso");
  tree_.Write("out/kit.iso", "an older image");
  KitResult run = Build({"--board", "Nuvaro", "--iso", image});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(FilesOf(tree_.Snapshot("out")), (std::set<std::string>{"kit.iso"}));

  const std::set<std::string> kitFiles = FilesOf(tree_.Snapshot("kit"));
  std::set<std::string> expected;
  for (const std::string& file : kitFiles) expected.insert("/" + file);
  ASSERT_TRUE(expected.count("/Talvor Imaging/Vok/dll/MiXeD CaSe/" + long100));
  EXPECT_EQ(ImageFiles(image, false), expected);
  EXPECT_EQ(ImageFiles(image, true), expected);  // what Windows sees

  int status = 0;
  std::string extracted = tree_.Path("extracted");
  std::string said = Shell(
      "osirrox -indev " + Quoted(image) + " -extract / " + Quoted(extracted) + " 2>&1", status);
  ASSERT_EQ(status, 0) << said;
  EXPECT_EQ(tree_.Snapshot("extracted"), tree_.Snapshot("kit"));

  said = Shell("xorriso -indev " + Quoted(image) + " -pvd_info 2>/dev/null", status);
  EXPECT_TRUE(Has(said, "Volume Id    : TALVOR_KIT")) << said;
}

// A kit holds folders and regular files only: links (to a file, to a
// folder outside the kit) and a pipe are listed with their kind, never
// followed, read or written through, and nothing from outside reaches a
// manifest or an image.
TEST_F(KitOutputs, LinksAndPipesInTheKitAreListedNeverFollowed) {
  ASSERT_TRUE(HaveTool("xorriso"));
  ASSERT_EQ(Build().exitCode, 0);
  tree_.Write("outside/secret.txt", "outside the kit");
  fs::create_directory_symlink(tree_.Path("outside"),
                               tree_.Path("kit/Talvor Imaging/Tools/outside"));
  fs::create_symlink(tree_.Path("outside/secret.txt"), tree_.Path("kit/notes.txt"));
  fs::remove(tree_.Path("kit/setup.ini"));
  fs::create_symlink(tree_.Path("medium/setup.ini"), tree_.Path("kit/setup.ini"));
  ASSERT_EQ(mkfifo(tree_.Path("kit/pipe").c_str(), 0644), 0);
  // A folder the run writes into, made a link to the folder outside.
  fs::remove_all(tree_.Path("kit/Talvor Imaging/Drivers/PELUX"));
  fs::create_directory_symlink(tree_.Path("outside"),
                               tree_.Path("kit/Talvor Imaging/Drivers/PELUX"));
  // A file the run copies, there as a link under another case.
  const std::string dll = "kit/Talvor Imaging/Vok/dll/";
  ASSERT_TRUE(fs::remove(tree_.Path(dll + "vok.dll")));
  fs::create_symlink(tree_.Path("outside/secret.txt"), tree_.Path(dll + "VOK.DLL"));
  const auto outside = tree_.Snapshot("outside");
  const std::vector<std::string> differences = {
      "content differs: setup.ini (link)\n",
      "extra file: notes.txt (link)\n",
      "content differs: Talvor Imaging/Vok/dll/VOK.DLL (link)\n",
      "extra file: pipe (not a regular file)\n",
      "extra file: Talvor Imaging/Tools/outside (link)\n",
      "missing folder: Talvor Imaging/Drivers/PELUX (link; 1 file expected in it)\n"};

  KitResult check = RunKitProcess({"--verify", "--source", tree_.Path("medium"), "--dest",
                                   tree_.Path("kit"), "--manifest", tree_.Path("list")});
  EXPECT_EQ(check.exitCode, 1);
  for (const std::string& line : differences) EXPECT_TRUE(Has(check.out, line)) << check.out;
  EXPECT_FALSE(Has(tree_.Read("list"), "secret")) << tree_.Read("list");
  EXPECT_FALSE(Has(tree_.Read("list"), "setup.ini"));

  const std::string image = tree_.Path("kit.iso");
  KitResult resumed = Build({"--resume", "--iso", image});
  EXPECT_EQ(resumed.exitCode, 1);
  for (const std::string& line : differences) EXPECT_TRUE(Has(resumed.err, line)) << resumed.err;
  EXPECT_TRUE(Has(resumed.err, "left out of the image: pipe (not a regular file)")) << resumed.err;
  EXPECT_TRUE(Has(resumed.err, "vok.dll failed: error 5 (access denied)")) << resumed.err;
  EXPECT_EQ(tree_.Snapshot("outside"), outside);  // nothing written through the link
  const std::set<std::string> imaged = ImageFiles(image, false);
  EXPECT_TRUE(imaged.count("/data1.cab"));
  for (const char* outside :
       {"/notes.txt", "/setup.ini", "/Talvor Imaging/Tools/outside/secret.txt"}) {
    EXPECT_FALSE(imaged.count(outside)) << outside;
  }
}

TEST_F(KitOutputs, ImageTakesTheVolumeIdAndWarnsOfNamesWindowsCutsShort) {
  ASSERT_TRUE(HaveTool("xorriso"));
  const std::string tooLong = std::string(110, 'n') + ".dll";
  tree_.Write("medium/Talvor Imaging/Vok/dll/" + tooLong, "x");
  const std::string image = tree_.Path("kit.iso");
  KitResult run = Build({"--iso", image, "--volume-id", "VOK_RUNTIME_2"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Has(run.err, "warning: Talvor Imaging/Vok/dll/" + tooLong +
                               ": the name is longer than 103 characters"))
      << run.err;
  // Rock Ridge keeps the whole name.
  EXPECT_TRUE(ImageFiles(image, false).count("/Talvor Imaging/Vok/dll/" + tooLong));
  int status = 0;
  std::string said = Shell("xorriso -indev " + Quoted(image) + " -pvd_info 2>/dev/null", status);
  EXPECT_TRUE(Has(said, "Volume Id    : VOK_RUNTIME_2")) << said;
}

TEST_F(KitOutputs, ImageThatDoesNotFitLeavesTheOlderOneAndFails) {
  // A small disk for the image; mounting needs the right to, else skipped.
  tree_.MakeDir("disk");
  const std::string disk = tree_.Path("disk");
  if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  }
  tree_.Write("disk/kit.iso", "an older image");
  KitResult run = Build({"--iso", disk + "/kit.iso", "--manifest", tree_.Path("SHA256SUMS")});
  const auto left = tree_.Snapshot("disk");
  umount2(disk.c_str(), MNT_DETACH);

  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_TRUE(Has(run.err, "the image " + disk + "/kit.iso was not written")) << run.err;
  EXPECT_TRUE(Has(run.err, ", 1 failures")) << run.err;
  EXPECT_EQ(left, (std::map<std::string, std::string>{{"kit.iso", "an older image"}}));
  EXPECT_TRUE(tree_.Exists("SHA256SUMS"));  // the other output is still made
}

#endif

}  // namespace
}  // namespace vostrel::testing
