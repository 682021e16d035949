#include "cli/kit_feedback.h"

#include "cli/interruption.h"
#include "cli/messages.h"
#include "platform/native.h"

namespace vostrel::cli {

void KitFeedback::SetStatus(const std::string& text) {
  if (Interruption() != 0) return;  // an interrupted run says no more, and is not complete
  status_.push_back(text);
  console_.Out(text);
}

void KitFeedback::ShowMessage(const std::string& text) {
  messageShown_ = true;
  console_.Message(text);
}

void KitFeedback::WalkStopped(const std::string& folder, unsigned long code) {
  const RunProblem* found = problems_.WalkStopped(folder, code);
  if (found == nullptr) return;  // the run was interrupted: not a fault of the kit
  const RunProblem& problem = *found;
  const std::string stopped = "stopped copying " + DisplayPath(folder);
  const std::string rest = "; the entries after it were not copied";
  if (problem.kind == ProblemKind::kStoppedAtKitFile) {
    console_.Warn(stopped + " at " + DisplayPath(problem.operation.target) +
                  ", which the kit already holds" + rest);
  } else if (problem.kind == ProblemKind::kStoppedAfterCopy) {
    console_.Warn(stopped + " after the failed copy of " + DisplayPath(problem.operation.path) +
                  rest);
  } else {
    console_.Warn(stopped + ": its listing ended with " + CodeText(code) + rest);
  }
}

void KitFeedback::FolderSkipped(const std::string& folder, const std::string& reason) {
  console_.Warn("did not copy " + DisplayPath(folder) + ": " + reason);
}

void KitFeedback::EntryLeftOut(const std::string& path, const std::string& reason) {
  problems_.EntryLeftOut(path, reason);
  console_.Failed("did not copy " + DisplayPath(path) + ": " + reason);
}

void KitFeedback::Skipped(const std::string& folder, const std::string& name,
                          const std::string& reason) {
  console_.Failed("skipped " + DisplayPath(folder) + platform::PreferredSeparator() + name + ": " +
                  reason);
}

}  // namespace vostrel::cli
