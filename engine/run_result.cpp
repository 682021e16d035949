#include "engine/run_result.h"

#include "engine/run_feedback.h"
#include "engine/windows_path.h"

namespace vostrel {

const char* const kStatusComplete = "Redistribution Complete";
const char* const kStatusIncomplete = "Redistribution Incomplete";

namespace {

// Whether a failed operation leaves the kit incomplete or wrong.
bool IsProblem(const Operation& operation) {
  using namespace win32_error;
  const unsigned long code = operation.code;
  switch (operation.kind) {
    case OperationKind::kCreateFolder:
      return !operation.ok && code != kAlreadyExists;
    case OperationKind::kCopyFile:
      // A file the kit already holds is kept; a walk that ends there says so.
      return !operation.ok && code != kFileExists;
    case OperationKind::kFindFirst:
      // A missing folder counts as an empty one; one that exists but cannot
      // be listed leaves its whole content out.
      return !operation.ok && code != kFileNotFound && code != kPathNotFound;
    case OperationKind::kFindEnd:
      // 0: the walk closed the listing after a failed copy (its stop says so).
      return code != kSuccess && code != kNoMoreFiles;
    case OperationKind::kSetAttributes:
    case OperationKind::kRemoveFile:
      return !operation.ok && code != kFileNotFound;
    case OperationKind::kWriteProfile:
      return !operation.ok;
  }
  return false;
}

}  // namespace

bool RunResult::MetEarlierKit() const {
  for (const RunProblem& problem : problems) {
    if (problem.kind == ProblemKind::kStoppedAtKitFile) return true;
  }
  return false;
}

const char* LastStatus(const RunResult& result) {
  return result.complete() ? kStatusComplete : kStatusIncomplete;
}

void RunResultBuilder::Count(const Operation& operation) {
  RunCounts& counts = result_.counts;
  const bool copy = operation.kind == OperationKind::kCopyFile;
  // A listing's end carries its code whether or not the walk read it all.
  if (operation.ok && operation.kind != OperationKind::kFindEnd) {
    if (operation.kind == OperationKind::kCreateFolder) ++counts.foldersCreated;
    if (operation.kind == OperationKind::kRemoveFile) ++counts.filesRemoved;
    if (copy) {
      ++counts.filesCopied;
      counts.bytesCopied += operation.bytes;
    }
  } else if (copy && operation.code == win32_error::kFileExists) {
    ++counts.filesKept;
  }
}

const RunProblem* RunResultBuilder::Account(const Operation& operation) {
  // Only a failed copy says more about a walk that stops next: the others
  // are not kept, which spares a copy of each operation.
  lastFailedCopy_ = operation.kind == OperationKind::kCopyFile && !operation.ok;
  if (lastFailedCopy_) last_ = operation;
  Count(operation);
  if (operation.code == win32_error::kOperationAborted || !IsProblem(operation)) return nullptr;
  RunProblem problem;
  problem.kind = operation.kind == OperationKind::kFindEnd ? ProblemKind::kListingEnded
                                                           : ProblemKind::kOperationFailed;
  // A listing is named by its folder, not by its pattern.
  const bool listing =
      operation.kind == OperationKind::kFindFirst || operation.kind == OperationKind::kFindEnd;
  problem.path = listing ? winpath::ParentOf(operation.path) : operation.path;
  problem.code = operation.code;
  problem.operation = operation;
  return Add(std::move(problem));
}

const RunProblem* RunResultBuilder::WalkStopped(const std::string& folder, unsigned long code) {
  if (code == win32_error::kOperationAborted) return nullptr;
  RunProblem problem;
  problem.path = folder;
  problem.code = code;
  if (lastFailedCopy_) {
    problem.kind = last_.code == win32_error::kFileExists ? ProblemKind::kStoppedAtKitFile
                                                          : ProblemKind::kStoppedAfterCopy;
    problem.operation = last_;
  } else {
    problem.kind = ProblemKind::kStoppedListing;
  }
  return Add(std::move(problem));
}

const RunProblem* RunResultBuilder::EntryLeftOut(const std::string& path,
                                                 const std::string& reason) {
  RunProblem problem;
  problem.kind = ProblemKind::kEntryLeftOut;
  problem.path = path;
  problem.reason = reason;
  return Add(std::move(problem));
}

const RunProblem* RunResultBuilder::Add(RunProblem problem) {
  result_.problems.push_back(std::move(problem));
  feedback_.ProblemMet(result_.problems.back());
  return &result_.problems.back();
}

}  // namespace vostrel
