// What the engine tells a vostrel-kit run, worded for the person: status
// lines on stdout; each problem as the run meets it, each folder skipped and
// the summary on stderr, kept for the report.
#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "engine/run_feedback.h"
#include "engine/run_result.h"
#include "platform/native.h"

namespace vostrel::cli {

class KitFeedback : public RunFeedback {
 public:
  explicit KitFeedback(Console& console) : console_(console) {}

  void SetStatus(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
  void FolderSkipped(const std::string& folder, const std::string& reason) override;
  // A walk stopped is a warning; an operation that failed and an entry left
  // out are failures.
  void ProblemMet(const RunProblem& problem) override;
  // The last status line says the steps are over, a problem or not: the
  // failures, the summary and the exit status say whether the kit is whole.
  void RunEnded(const RunResult& result) override;

  // An entry the native file system would not take over (a name Windows
  // cannot hold): the kit lacks it.
  void Skipped(const std::string& folder, const std::string& name, const std::string& reason,
               platform::SkipKind kind);

  // The summary line: what the run's operations did (would do, in a dry
  // run) and every failure said until now (a report that could not be
  // written included).
  void SaySummary(const RunCounts& counts, bool dryRun);

  const std::vector<std::string>& status() const { return status_; }

 private:
  void SayWalkStopped(const RunProblem& problem);

  Console& console_;
  std::vector<std::string> status_;
};

}  // namespace vostrel::cli
