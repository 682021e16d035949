// Which operations and notices of a run leave the kit incomplete, and the
// result a run returns: the one reading every front end takes.
#include <gtest/gtest.h>

#include <optional>

#include "engine/redistribution.h"
#include "engine/run_result.h"
#include "tests/engine/engine_fixture.h"

namespace vostrel::testing {
namespace {

using K = OperationKind;
using P = ProblemKind;

Operation Op(K kind, unsigned long code, const std::string& path = "D:\\kit\\a") {
  Operation operation{};
  operation.kind = kind;
  operation.path = path;
  operation.target = "D:\\kit\\b";
  operation.ok = code == 0 || (kind == K::kFindEnd && code == win32_error::kNoMoreFiles);
  operation.code = code;
  return operation;
}

TEST(RunResult, EachOperationAndNoticeIsAProblemOrNot) {
  struct Case {
    std::vector<Operation> before;  // taken in order before the last step
    std::optional<Operation> op;    // the last step: an operation, or else a walk stop
    std::optional<P> expected;
    const char* path;
  };
  const Case cases[] = {
      {{}, Op(K::kCopyFile, 0), std::nullopt, ""},
      {{}, Op(K::kCopyFile, 80), std::nullopt, ""},  // kept
      {{}, Op(K::kCopyFile, 2), P::kOperationFailed, "D:\\kit\\a"},
      {{}, Op(K::kCopyFile, 112), P::kOperationFailed, "D:\\kit\\a"},
      {{}, Op(K::kCreateFolder, 183), std::nullopt, ""},
      {{}, Op(K::kCreateFolder, 3), P::kOperationFailed, "D:\\kit\\a"},
      {{}, Op(K::kFindFirst, 2, "M:\\x\\*.*"), std::nullopt, ""},
      {{}, Op(K::kFindFirst, 3, "M:\\x\\*.*"), std::nullopt, ""},
      {{}, Op(K::kFindFirst, 5, "M:\\x\\*.*"), P::kOperationFailed, "M:\\x"},
      {{}, Op(K::kFindEnd, 0), std::nullopt, ""},
      {{}, Op(K::kFindEnd, 18), std::nullopt, ""},
      {{}, Op(K::kFindEnd, 1117, "M:\\x\\*.*"), P::kListingEnded, "M:\\x"},
      {{}, Op(K::kSetAttributes, 2), std::nullopt, ""},
      {{}, Op(K::kSetAttributes, 5), P::kOperationFailed, "D:\\kit\\a"},
      {{}, Op(K::kRemoveFile, 2), std::nullopt, ""},
      {{}, Op(K::kRemoveFile, 5), P::kOperationFailed, "D:\\kit\\a"},
      {{}, Op(K::kWriteProfile, 5), P::kOperationFailed, "D:\\kit\\a"},
      // Walk stops at "M:\x", after what the walk did last.
      {{Op(K::kCopyFile, 80)}, std::nullopt, P::kStoppedAtKitFile, "M:\\x"},
      {{Op(K::kCopyFile, 112)}, std::nullopt, P::kStoppedAfterCopy, "M:\\x"},
      {{Op(K::kCopyFile, 0)}, std::nullopt, P::kStoppedListing, "M:\\x"},
      {{}, std::nullopt, P::kStoppedListing, "M:\\x"},
  };
  for (const Case& c : cases) {
    RecordingFeedback feedback;
    RunResultBuilder builder(feedback);
    for (const Operation& operation : c.before) builder.Account(operation);
    const std::size_t already = builder.result().problems.size();
    const RunProblem* problem = c.op ? builder.Account(*c.op) : builder.WalkStopped("M:\\x", 1117);
    const std::string label =
        c.op ? std::string(OperationName(c.op->kind)) + " " + std::to_string(c.op->code)
             : "walk stop after " + std::to_string(c.before.size());
    ASSERT_EQ(problem != nullptr, c.expected.has_value()) << label;
    EXPECT_EQ(builder.result().problems.size(), already + (problem ? 1 : 0)) << label;
    if (!problem) continue;
    EXPECT_EQ(problem->kind, *c.expected) << label;
    EXPECT_EQ(problem->path, c.path) << label;
    EXPECT_EQ(builder.result().MetEarlierKit(), *c.expected == P::kStoppedAtKitFile) << label;
  }
  RecordingFeedback feedback;
  RunResultBuilder left(feedback);
  EXPECT_EQ(left.EntryLeftOut("M:\\x\\link", "why")->reason, "why");
  EXPECT_FALSE(left.result().complete());
  EXPECT_EQ(feedback.leftOut, std::vector<std::string>{"M:\\x\\link: why"});
}

// A run into an empty folder is complete; the same run again stops at the
// kit's first file. The last status line, the counts and the problems
// agree each time.
TEST_F(EngineTest, ResultAndLastStatusAgree) {
  BuildMedium(tree);
  tree.MakeDir("kit");
  const RunResult first =
      RunRedistribution(*fs, feedback, SourceRoot(), DestRoot(), DefaultSelection());
  EXPECT_TRUE(first.complete());
  EXPECT_FALSE(first.refused);
  EXPECT_GT(first.counts.filesCopied, 0u);
  EXPECT_EQ(feedback.statuses.back(), kStatusComplete);

  const RunResult again =
      RunRedistribution(*fs, feedback, SourceRoot(), DestRoot(), DefaultSelection());
  ASSERT_FALSE(again.complete());
  EXPECT_TRUE(again.MetEarlierKit());
  EXPECT_GT(again.counts.filesKept, 0u);
  EXPECT_EQ(feedback.walkStops.size(), again.problems.size());
  EXPECT_EQ(feedback.statuses.back(), kStatusIncomplete);

  const RunResult refused = RunRedistribution(*fs, feedback, SourceRoot(), "", DefaultSelection());
  EXPECT_TRUE(refused.refused);
}

}  // namespace
}  // namespace vostrel::testing
