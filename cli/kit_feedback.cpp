#include "cli/kit_feedback.h"

#include "cli/interruption.h"
#include "cli/messages.h"
#include "engine/windows_path.h"
#include "platform/native.h"

namespace vostrel::cli {

namespace {

std::string FailureText(const Operation& operation) {
  const std::string name = OperationName(operation.kind);
  const std::string code = CodeText(operation.code);
  switch (operation.kind) {
    case OperationKind::kCopyFile:
      return name + " " + DisplayPath(operation.path) + " -> " + DisplayPath(operation.target) +
             " failed: " + code;
    case OperationKind::kFindFirst:
      return name + " " + DisplayPath(winpath::ParentOf(operation.path)) + " failed: " + code;
    case OperationKind::kFindEnd:
      return name + " " + DisplayPath(winpath::ParentOf(operation.path)) +
             " ended before the last entry: " + code;
    case OperationKind::kWriteProfile:
      return name + " [" + operation.section + "] " + operation.key + "=" + operation.value +
             " in " + DisplayPath(operation.path) + " failed: " + code;
    case OperationKind::kCreateFolder:
    case OperationKind::kSetAttributes:
    case OperationKind::kRemoveFile:
      break;
  }
  return name + " " + DisplayPath(operation.path) + " failed: " + code;
}

}  // namespace

void KitFeedback::SetStatus(const std::string& text) {
  if (Interruption() != 0) return;  // an interrupted run says no more, and is not complete
  status_.push_back(text);
  console_.Out(text);
}

// Validation messages are checked before the run; one shown by the run
// itself still ends it as a validation failure (the result says refused).
void KitFeedback::ShowMessage(const std::string& text) { console_.Message(text); }

void KitFeedback::RunEnded(const RunResult&) { SetStatus(kStatusComplete); }

void KitFeedback::ProblemMet(const RunProblem& problem) {
  switch (problem.kind) {
    case ProblemKind::kOperationFailed:
    case ProblemKind::kListingEnded:
      console_.Failed(FailureText(problem.operation));
      return;
    case ProblemKind::kEntryLeftOut:
      console_.Failed("did not copy " + DisplayPath(problem.path) + ": " + problem.reason);
      return;
    case ProblemKind::kStoppedAtKitFile:
    case ProblemKind::kStoppedAfterCopy:
    case ProblemKind::kStoppedListing:
      SayWalkStopped(problem);
      return;
  }
}

void KitFeedback::SayWalkStopped(const RunProblem& problem) {
  const std::string stopped = "stopped copying " + DisplayPath(problem.path);
  const std::string rest = "; the entries after it were not copied";
  if (problem.kind == ProblemKind::kStoppedAtKitFile) {
    console_.Warn(stopped + " at " + DisplayPath(problem.operation.target) +
                  ", which the kit already holds" + rest);
  } else if (problem.kind == ProblemKind::kStoppedAfterCopy) {
    console_.Warn(stopped + " after the failed copy of " + DisplayPath(problem.operation.path) +
                  rest);
  } else {
    console_.Warn(stopped + ": its listing ended with " + CodeText(problem.code) + rest);
  }
}

void KitFeedback::FolderSkipped(const std::string& folder, const std::string& reason) {
  console_.Warn("did not copy " + DisplayPath(folder) + ": " + reason);
}

void KitFeedback::Skipped(const std::string& folder, const std::string& name,
                          const std::string& reason, platform::SkipKind kind) {
  console_.Failed(SkippedLine(folder, name, reason, kind));
}

void KitFeedback::SaySummary(const RunCounts& counts, bool dryRun) {
  const std::string copied = std::to_string(counts.filesCopied) + " files";
  const std::string bytes = " (" + std::to_string(counts.bytesCopied) + " bytes), ";
  const std::string folders = std::to_string(counts.foldersCreated) + " folders";
  const std::string kept = std::to_string(counts.filesKept) + " files";
  const std::string removed = std::to_string(counts.filesRemoved) + " files";
  const std::string failures = std::to_string(console_.failures().size()) + " failures";
  if (dryRun) {
    console_.Err("would copy " + copied + bytes + "would create " + folders + ", would keep " +
                 kept + " (already present), would remove " + removed + ", " + failures);
  } else {
    console_.Err(copied + " copied" + bytes + folders + " created, " + kept +
                 " kept (already present), " + removed + " removed, " + failures);
  }
}

}  // namespace vostrel::cli
