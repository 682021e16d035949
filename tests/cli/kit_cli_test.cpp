// vostrel-kit as a person or a pipeline runs it: the real binary on real
// folders.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <set>

#include "cli/options.h"
#include "tests/cli/kit_process.h"

namespace vostrel::testing {
namespace {

const std::vector<std::string> kDefaultStatus = {
    "Copying Talvor Imaging Setup Files...", "Copying Talvor Imaging Tools...",
    "Copying VOK Runtime Files...",          "Copying Talvor Drivers Files...",
    "Copying Talvor PELUX Drivers...",       "Redistribution Complete"};

// Paths as the tool shows them on any platform, compared with '/'.
std::string Slashed(std::string text) {
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

std::string SummaryLine(const std::string& err) {
  for (const std::string& line : Lines(err)) {
    if (Has(line, "files copied") || Has(line, "would copy")) return line;
  }
  return "";
}

// The counts of a summary line, in order.
std::vector<std::string> Counts(const std::string& line) {
  std::vector<std::string> counts(1);
  for (char c : line) {
    if (c >= '0' && c <= '9') {
      counts.back() += c;
    } else if (!counts.back().empty()) {
      counts.emplace_back();
    }
  }
  return counts;
}

class KitCli : public ::testing::Test {
 protected:
  KitCli() { MakeMedium(tree_); }

  std::string S(const std::string& relative) const { return Slashed(tree_.Path(relative)); }

  KitResult Kit(std::vector<std::string> arguments) { return RunKitProcess(arguments); }
  KitResult Build(const std::string& dest, std::vector<std::string> more = {}) {
    std::vector<std::string> arguments = {"--source", tree_.Path("medium/setup.exe"), "--dest",
                                          tree_.Path(dest)};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return Kit(arguments);
  }

  TempTree tree_;
};

TEST_F(KitCli, DefaultKitPrintsExactlyTheStatusLines) {
  KitResult run = Build("out/kit");  // a missing destination and parent are created
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Lines(run.out), kDefaultStatus);
  EXPECT_TRUE(Has(run.err, "0 files kept (already present), 13 files removed, 0 failures"))
      << run.err;

  EXPECT_TRUE(tree_.Exists("out/kit/setup.exe"));
  EXPECT_FALSE(tree_.Exists("out/kit/Extras"));
  EXPECT_FALSE(tree_.Exists("out/kit/Talvor Imaging/Tools/unlisted.exe"));
  EXPECT_TRUE(tree_.Exists("out/kit/Talvor Imaging/Vok/dll/sub/deep.dll"));
  EXPECT_TRUE(tree_.Exists("out/kit/Talvor Imaging/Vok/dll/vok.dll"));
  EXPECT_FALSE(tree_.Exists("out/kit/Talvor Imaging/Vok/dll/vokpellam.dll"));
  EXPECT_TRUE(tree_.Exists("out/kit/Talvor Imaging/Drivers/PELUX/board.inf"));
  EXPECT_FALSE(tree_.Exists("out/kit/Talvor Imaging/Drivers/Utilities/Nested"));
  EXPECT_FALSE(tree_.Exists("out/kit/Jurano"));
  EXPECT_TRUE(Has(tree_.Read("out/kit/Talvor Imaging/Vok/SetupType.txt"), "KRT=N"));
}

TEST_F(KitCli, SelectedPackagesAndBoardsAnnounceThemselvesInOrder) {
  KitResult run = Build("kit", {"--quenzo", "--framory", "--board", "JURANO", "--board", "ardune",
                                "--no-video-card"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Lines(run.out),
            (std::vector<std::string>{
                "Copying Talvor Imaging Setup Files...", "Copying Talvor Imaging Tools...",
                "Copying VOK Runtime Files...", "Copying Quenzo Files...",
                "Copying Talvor Framory Files...", "Copying Talvor Drivers Files...",
                "Copying Talvor Pellam Drivers...", "Copying Talvor Ardune Drivers...",
                "Copying Talvor Jurano Drivers...", "Copying Talvor Jurano Runtime Files...",
                "Redistribution Complete"}));
  EXPECT_TRUE(tree_.Exists("kit/Jurano/runtime/jurano.dll"));
  EXPECT_TRUE(tree_.Exists("kit/Talvor Imaging/Drivers/Pellam/board.inf"));
  EXPECT_FALSE(tree_.Exists("kit/Talvor Imaging/Drivers/Pellam/Pellam.cfg"));
  EXPECT_FALSE(tree_.Exists("kit/Talvor Imaging/Drivers/PELUX"));
}

TEST_F(KitCli, AllBoardsQuietly) {
  KitResult run = Build("kit", {"--board", "all", "--quiet"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(Has(run.err, "1 files removed")) << run.err;  // only Pellam.cfg
  EXPECT_TRUE(tree_.Exists("kit/Talvor Imaging/Vok/dll/vokjuranox.dll"));
  EXPECT_TRUE(tree_.Exists("kit/Talvor Imaging/Drivers/Harrik/board.inf"));
}

TEST_F(KitCli, RefusalsExitTwoAndWriteNothing) {
  const std::string medium = tree_.Path("medium");
  const std::string kit = tree_.Path("kit");
  // An image of a disc, by its volume descriptor (nothing sound after it).
  const std::string disc = tree_.Path("disc.img");
  tree_.Write("disc.img", std::string(16 * 2048, '\0') + "\001CD001" + std::string(2042, 'x'));
  tree_.Write("plain/readme.txt", "no medium here");
  auto before = tree_.Snapshot();
  struct Case {
    std::vector<std::string> arguments;
    std::string err;  // the whole of stderr, or a part of it after '~'
  };
  std::vector<Case> cases = {
      {{"--dest", kit}, "Must Select the Source for Redistribution\n"},
      {{"--source", "", "--dest", kit}, "Must Select the Source for Redistribution\n"},
      {{"--source", medium}, "Must Select the Destination for The Copy Of Redistribution\n"},
      {{"--source", medium + "/nope.exe", "--dest", kit},
       "vostrel-kit: source not found: " + medium + "/nope.exe\n"},
      {{"--source", medium + "/setup.ini", "--dest", kit},
       "vostrel-kit: not an installation medium: " + medium + "/setup.ini\n"},
      {{"--source", tree_.Path("plain"), "--dest", kit},
       "vostrel-kit: not an installation medium: " + tree_.Path("plain") + "\n"},
      {{"--source", medium, "--dest", medium}, "Must Select a Destination Other Than the Source\n"},
      {{"--source", medium + "/setup.exe", "--dest", tree_.Path("MEDIUM/")},
       "Must Select a Destination Other Than the Source\n"},
      {{"--source", medium, "--dest", kit, "--board", "Nope"}, "~Pellam, Varnex"},
      {{"--source", medium, "--dest", kit, "--bogus"}, "~--bogus"},
      {{"--source", medium, "--dest", kit, "--report", tree_.Path("no/such/r.json")}, "~report"},
  };
#ifdef _WIN32
  cases.push_back({{"--source", disc, "--dest", kit}, "~open (mount) it in Explorer"});
#else
  cases.push_back({{"--source", medium, "--dest", tree_.Path("a\\b")}, "~split into folders"});
  cases.push_back({{"--source", disc, "--dest", kit}, "~cannot read the image " + disc});
#endif
  for (const Case& c : cases) {
    KitResult run = Kit(c.arguments);
    EXPECT_EQ(run.exitCode, 2) << c.arguments.back() << "\n" << run.err;
    EXPECT_EQ(run.out, "");
    if (c.err[0] == '~') {
      EXPECT_TRUE(Has(run.err, c.err.substr(1))) << run.err;
    } else {
      EXPECT_EQ(run.err, c.err);
    }
    EXPECT_EQ(tree_.Snapshot(), before) << c.arguments.back();
  }
}

TEST_F(KitCli, SourceAsFolderOrAsSetupGivesTheSameKit) {
  ASSERT_EQ(Build("one").exitCode, 0);
  KitResult run = Kit({"--source", tree_.Path("medium/"), "--dest", tree_.Path("two")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(tree_.Snapshot("one"), tree_.Snapshot("two"));
#ifndef _WIN32
  // A link to setup.exe: the medium is the folder of what it leads to, not
  // the folder of the link with its neighbours.
  tree_.Write("home/private.key", "secret");
  std::filesystem::create_symlink(tree_.Path("medium/setup.exe"), tree_.Path("home/setup.exe"));
  run = Kit({"--source", tree_.Path("home/setup.exe"), "--dest", tree_.Path("three")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(tree_.Snapshot("one"), tree_.Snapshot("three"));
#endif
}

TEST_F(KitCli, RerunWarnsExitsOneAndOverwritesNothing) {
  ASSERT_EQ(Build("kit", {"--board", "Tobrin"}).exitCode, 0);
  tree_.Write("kit/setup.ini", "edited by hand");
  auto before = tree_.Snapshot("kit");

  KitResult run = Build("kit", {"--board", "Tobrin"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(Lines(run.out).back(), "Redistribution Complete");
  EXPECT_TRUE(Has(run.err, "warning: stopped copying")) << run.err;
  EXPECT_TRUE(Has(run.err, "0 files copied (0 bytes)")) << run.err;
  EXPECT_EQ(tree_.Snapshot("kit"), before);
}

TEST_F(KitCli, DryRunWritesNothingAndListsWhatTheRealRunDoes) {
  const std::string kit = S("new/kit");
  auto before = tree_.Snapshot();
  KitResult dry = Build("new/kit", {"--dry-run", "--quenzo"});
  ASSERT_EQ(dry.exitCode, 0) << dry.err;
  EXPECT_EQ(tree_.Snapshot(), before);

  std::vector<std::string> lines = Lines(Slashed(dry.out));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "create " + S("new"));
  EXPECT_EQ(lines[1], "create " + kit);
  EXPECT_EQ(lines[2], "Copying Talvor Imaging Setup Files...");
  EXPECT_EQ(lines[3], "copy " + S("medium/data1.cab") + " -> " + kit + "/data1.cab");
  auto at = [&lines](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
  };
  const auto status = at("Copying Talvor Drivers Files...");
  const auto removal = at("remove " + kit + "/Talvor Imaging/Vok/DLL/vokpellam.dll");
  const auto write =
      at("write " + kit + "/Talvor Imaging/Vok/SetupType.txt [SELECTED] QuenzoRuntime=Y");
  EXPECT_LT(write, status);
  EXPECT_LT(status, removal);
  EXPECT_LT(removal, static_cast<long>(lines.size()));
  EXPECT_LT(at("reset attributes " + kit + "/Talvor Imaging/Vok/SetupType.txt"), write);

  // The real run copies exactly what the dry run listed, with the same totals.
  KitResult real = Build("new/kit", {"--quenzo"});
  ASSERT_EQ(real.exitCode, 0) << real.err;
  EXPECT_TRUE(Has(SummaryLine(dry.err), "would copy ")) << dry.err;
  EXPECT_EQ(Counts(SummaryLine(dry.err)), Counts(SummaryLine(real.err)));
  // The removals name the runtime folder "DLL", the copies "dll": one folder.
  auto fold = [](std::string path) {
    std::size_t at = path.find("/Vok/DLL/");
    if (at != std::string::npos) path.replace(at, 9, "/Vok/dll/");
    return path;
  };
  std::set<std::string> listed;  // the files the dry run says the kit ends with
  for (const std::string& line : lines) {
    if (line.rfind("copy ", 0) == 0) listed.insert(fold(line.substr(line.find(" -> ") + 4)));
    if (line.rfind("remove ", 0) == 0) listed.erase(fold(line.substr(7)));
  }
  std::set<std::string> present;
  for (const auto& [path, content] : tree_.Snapshot("new/kit")) {
    if (content != "/") present.insert(kit + "/" + path);
  }
  EXPECT_EQ(listed, present);

  // Over the finished kit the dry run sees what a rerun would meet.
  KitResult again = Build("new/kit", {"--dry-run", "--quenzo"});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_TRUE(Has(again.err, "would copy 0 files")) << again.err;
}

TEST_F(KitCli, ReportHoldsTheRunOperationByOperation) {
  // A name that is not UTF-8 must not break the report.
  tree_.Write("medium/Talvor Imaging/Vok/dll/caf\xe9.dll", "x");
  const std::string report = tree_.Path("report.json");
  KitResult run = Build("kit", {"--board", "Varnex", "--report", report});
  ASSERT_EQ(run.exitCode, 0) << run.err;

  nlohmann::json json = nlohmann::json::parse(tree_.Read("report.json"));
  EXPECT_EQ(json["tool"], "vostrel-kit");
  EXPECT_EQ(json["version"], cli::KitVersion());
  EXPECT_EQ(json["dry_run"], false);
  EXPECT_EQ(Slashed(json["source"].get<std::string>()), S("medium"));
  EXPECT_EQ(Slashed(json["destination"].get<std::string>()), S("kit"));
  EXPECT_EQ(json["selection"]["boards"], nlohmann::json::array({"Varnex"}));
  EXPECT_EQ(json["selection"]["video_card"], true);
  EXPECT_EQ(json["status"].get<std::vector<std::string>>(), Lines(run.out));
  EXPECT_EQ(json["exit_code"], 0);
  EXPECT_EQ(json["failures"].size(), 0u);

  std::size_t copies = 0, removals = 0;
  for (const auto& operation : json["operations"]) {
    if (operation["op"] == "CopyFileA" && operation["result"] == 0) ++copies;
    if (operation["op"] == "remove" && operation["result"] == 0) ++removals;
    if (operation["op"] == "WritePrivateProfileStringA") {
      EXPECT_EQ(Slashed(operation["args"]["file"].get<std::string>()),
                S("kit") + "/Talvor Imaging/Vok/SetupType.txt");
    }
  }
  EXPECT_EQ(json["summary"]["files_copied"], copies);
  EXPECT_EQ(json["summary"]["files_removed"], removals);
  EXPECT_EQ(removals, 12u);

  // A rerun reports the refused copy with its code.
  run = Build("kit", {"--board", "Varnex", "--report", report});
  json = nlohmann::json::parse(tree_.Read("report.json"));
  EXPECT_EQ(json["exit_code"], 1);
  EXPECT_EQ(json["operations"][1]["op"], "CopyFileA");
  EXPECT_EQ(json["operations"][1]["result"], 80);
  EXPECT_FALSE(json["warnings"].empty());
}

TEST_F(KitCli, FailuresAreListedAndExitOne) {
  // A file where the kit needs a folder: every copy below it fails.
  tree_.Write("kit/Talvor Imaging", "in the way");
  KitResult run = Build("kit");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(Lines(run.out), kDefaultStatus);
  EXPECT_TRUE(Has(Slashed(run.err), "CopyFileA " + S("medium/Talvor Imaging/Tools/VOKConfig.exe")))
      << run.err;
  EXPECT_TRUE(Has(run.err, "error 3 (folder not found)")) << run.err;
  EXPECT_FALSE(Has(SummaryLine(run.err), " 0 failures")) << run.err;
}

#ifndef _WIN32
TEST_F(KitCli, NameHoldingBackslashIsSkippedAndCountsAsAFailure) {
  tree_.Write("medium/Talvor Imaging/Vok/dll/odd\\name.dll", "x");
  KitResult run = Build("kit");
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_TRUE(Has(run.err, "odd\\name.dll")) << run.err;
  EXPECT_TRUE(Has(run.err, ", 1 failures")) << run.err;
  EXPECT_FALSE(tree_.Exists("kit/Talvor Imaging/Vok/dll/odd"));
}

TEST_F(KitCli, ProgressLineOnlyOnATerminal) {
  KitResult piped = Build("piped");
  EXPECT_FALSE(Has(piped.err, "\r")) << piped.err;
  KitResult shown = RunKitProcess({"--source", tree_.Path("medium"), "--dest", tree_.Path("shown")},
                                  Stderr::kTerminal);
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_TRUE(Has(shown.err, "\r[")) << shown.err;
  EXPECT_TRUE(Has(shown.err, " files, ")) << shown.err;
  EXPECT_EQ(Lines(shown.out), kDefaultStatus);

  // On a narrow terminal (a pseudo-terminal tells no width: COLUMNS does)
  // no drawn line reaches the last column, where it would wrap.
  setenv("COLUMNS", "16", 1);
  KitResult narrow = RunKitProcess(
      {"--source", tree_.Path("medium"), "--dest", tree_.Path("narrow")}, Stderr::kTerminal);
  unsetenv("COLUMNS");
  ASSERT_EQ(narrow.exitCode, 0) << narrow.err;
  std::size_t drawn = 0;
  for (std::size_t at = narrow.err.find("\r["); at != std::string::npos;
       at = narrow.err.find("\r[", at + 1), ++drawn) {
    EXPECT_LE(narrow.err.find_first_of("\r\n", at + 1) - at - 1, 15u) << narrow.err;
  }
  EXPECT_GT(drawn, 0u);
}
#endif

TEST_F(KitCli, VersionAndHelp) {
  KitResult version = Kit({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, std::string("vostrel-kit ") + cli::KitVersion() + "\n");
  KitResult help = Kit({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Has(help.out, "--dry-run"));
}

}  // namespace
}  // namespace vostrel::testing
