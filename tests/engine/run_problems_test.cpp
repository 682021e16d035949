// Which operations and notices of a run leave the kit incomplete: the one
// reading both front ends share.
#include <gtest/gtest.h>

#include <optional>

#include "engine/run_problems.h"

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

TEST(RunProblems, EachOperationAndNoticeIsAProblemOrNot) {
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
    RunProblems problems;
    for (const Operation& operation : c.before) problems.Account(operation);
    const std::size_t already = problems.problems().size();
    const RunProblem* problem =
        c.op ? problems.Account(*c.op) : problems.WalkStopped("M:\\x", 1117);
    const std::string label =
        c.op ? std::string(OperationName(c.op->kind)) + " " + std::to_string(c.op->code)
             : "walk stop after " + std::to_string(c.before.size());
    ASSERT_EQ(problem != nullptr, c.expected.has_value()) << label;
    EXPECT_EQ(problems.problems().size(), already + (problem ? 1 : 0)) << label;
    if (!problem) continue;
    EXPECT_EQ(problem->kind, *c.expected) << label;
    EXPECT_EQ(problem->path, c.path) << label;
    EXPECT_EQ(problems.MetEarlierKit(), *c.expected == P::kStoppedAtKitFile) << label;
  }
  RunProblems left;
  EXPECT_EQ(left.EntryLeftOut("M:\\x\\link", "why")->reason, "why");
  EXPECT_TRUE(left.any());
}

}  // namespace
}  // namespace vostrel::testing
