#include "cli/options.h"

#include <gtest/gtest.h>

namespace vostrel::cli {
namespace {

using Action = ParseResult::Action;

TEST(Options, DefaultsMatchTheWindowAsItOpens) {
  ParseResult parsed = ParseOptions({"--source", "m/setup.exe", "--dest", "kit"});
  ASSERT_EQ(parsed.action, Action::kRun) << parsed.text;
  const Options& options = parsed.options;
  EXPECT_EQ(options.source, "m/setup.exe");
  EXPECT_EQ(options.destination, "kit");
  EXPECT_TRUE(options.selection.libraryRuntime);
  EXPECT_FALSE(options.selection.controlPackage);
  EXPECT_FALSE(options.selection.cameraTool);
  EXPECT_TRUE(options.selection.videoCard);
  for (bool board : options.selection.boards) EXPECT_FALSE(board);
  EXPECT_FALSE(options.dryRun);
  EXPECT_FALSE(options.quiet);
  EXPECT_TRUE(options.reportFile.empty());
}

TEST(Options, EveryFlagAndOption) {
  ParseResult parsed =
      ParseOptions({"--source=m", "--dest", "k", "--quenzo", "--framory", "--no-video-card",
                    "--dry-run", "--quiet", "--report", "r.json"});
  ASSERT_EQ(parsed.action, Action::kRun) << parsed.text;
  EXPECT_TRUE(parsed.options.selection.controlPackage);
  EXPECT_TRUE(parsed.options.selection.cameraTool);
  EXPECT_FALSE(parsed.options.selection.videoCard);
  EXPECT_TRUE(parsed.options.dryRun);
  EXPECT_TRUE(parsed.options.quiet);
  EXPECT_EQ(parsed.options.reportFile, "r.json");
}

TEST(Options, BoardsByLabelInAnyCaseRepeatedOrListed) {
  ParseResult parsed =
      ParseOptions({"--board", "ardune", "--board=JURANO", "--board", "Pellam,harrik"});
  ASSERT_EQ(parsed.action, Action::kRun) << parsed.text;
  const auto& boards = parsed.options.selection.boards;
  // Rows: Pellam 1, Ardune 5, Jurano 10, Harrik 12.
  std::array<bool, kBoardCount> expected{true,  false, false, false, true,  false,
                                         false, false, false, true,  false, true};
  EXPECT_EQ(boards, expected);

  ParseResult all = ParseOptions({"--board", "All"});
  ASSERT_EQ(all.action, Action::kRun);
  for (bool board : all.options.selection.boards) EXPECT_TRUE(board);
}

TEST(Options, UnknownBoardIsAUsageErrorListingTheValidNames) {
  ParseResult parsed = ParseOptions({"--board", "Pellam", "--board", "Pelam"});
  ASSERT_EQ(parsed.action, Action::kUsageError);
  EXPECT_NE(parsed.text.find("'Pelam'"), std::string::npos);
  for (const char* name : {"Pellam", "Varnex", "Tobrin", "Kestov", "Ardune", "Sorvik", "Lunnet",
                           "Wyndel", "Calvex", "Jurano", "Nuvaro", "Harrik", "all"}) {
    EXPECT_NE(parsed.text.find(name), std::string::npos) << name;
  }
}

TEST(Options, MalformedCommandLinesAreUsageErrors) {
  EXPECT_EQ(ParseOptions({"--bogus"}).action, Action::kUsageError);
  EXPECT_EQ(ParseOptions({"--source"}).action, Action::kUsageError);
  EXPECT_EQ(ParseOptions({"--board"}).action, Action::kUsageError);
  EXPECT_EQ(ParseOptions({"stray"}).action, Action::kUsageError);
  EXPECT_EQ(ParseOptions({"--board", "Pellam", "Varnex"}).action, Action::kUsageError);
}

TEST(Options, HelpDescribesEveryOptionAndVersionNamesTheTool) {
  ParseResult help = ParseOptions({"--help"});
  ASSERT_EQ(help.action, Action::kHelp);
  for (const char* option :
       {"--source", "--dest", "--quenzo", "--framory", "--board", "--no-video-card", "--dry-run",
        "--report", "--quiet", "--help", "--version"}) {
    EXPECT_NE(help.text.find(option), std::string::npos) << option;
  }
  ParseResult version = ParseOptions({"--version"});
  ASSERT_EQ(version.action, Action::kVersion);
  EXPECT_EQ(version.text, std::string("vostrel-kit ") + KitVersion());
}

}  // namespace
}  // namespace vostrel::cli
