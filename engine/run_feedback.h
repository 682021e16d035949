// How a run reaches the person: the status line, the validation message box
// and the wait cursor, and what a walk passes over. The dialog shows them;
// the command line prints them. What the run did is its result
// (engine/run_result.h), which RunRedistribution returns.
#pragma once

#include <string>

#include "engine/run_result.h"

namespace vostrel {

class RunFeedback {
 public:
  virtual ~RunFeedback() = default;

  // The progress line. Every step calls it before doing its work.
  virtual void SetStatus(const std::string& text) = 0;

  // A validation message (OK button, exclamation icon, application caption).
  virtual void ShowMessage(const std::string& text) = 0;

  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;

  // A walk did not enter a folder because it is the destination tree or a
  // folder the walk is already inside (a link loop).
  virtual void FolderSkipped(const std::string& folder, const std::string& reason) {
    (void)folder;
    (void)reason;
  }

  // A problem of the result, the moment the run meets it, for a front end
  // that says each as it happens.
  virtual void ProblemMet(const RunProblem& problem) { (void)problem; }

  // The steps are over: the last status line says whether the run had a
  // problem.
  virtual void RunEnded(const RunResult& result) { SetStatus(LastStatus(result)); }
};

}  // namespace vostrel
