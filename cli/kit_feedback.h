// What the engine tells a vostrel-kit run, worded for the person: status
// lines on stdout, and each walk stopped, folder skipped and entry left out
// on stderr, kept for the report.
#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "engine/recording_file_system.h"
#include "engine/run_feedback.h"
#include "engine/run_problems.h"

namespace vostrel::cli {

class KitFeedback : public RunFeedback {
 public:
  explicit KitFeedback(Console& console) : console_(console) {}

  void SetStatus(const std::string& text) override;
  // Validation messages are checked before the run; one shown by the run
  // itself still ends it as a validation failure.
  void ShowMessage(const std::string& text) override;
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
  void WalkStopped(const std::string& folder, unsigned long code) override;
  void FolderSkipped(const std::string& folder, const std::string& reason) override;
  // The kit lacks what the medium holds there: a failure, not a warning.
  void EntryLeftOut(const std::string& path, const std::string& reason) override;

  // An entry the native file system would not take over (a name Windows
  // cannot hold): the kit lacks it.
  void Skipped(const std::string& folder, const std::string& name, const std::string& reason);

  bool messageShown() const { return messageShown_; }
  // What of the run leaves the kit incomplete: the reading the window shares.
  RunProblems& problems() { return problems_; }
  const RunProblems& problems() const { return problems_; }
  const std::vector<std::string>& status() const { return status_; }

 private:
  Console& console_;
  RunProblems problems_;
  std::vector<std::string> status_;
  bool messageShown_ = false;
};

}  // namespace vostrel::cli
