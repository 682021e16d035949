// How a run reaches the person: the status line, the validation message box
// and the wait cursor. The dialog shows them; the command line prints them.
#pragma once

#include <string>

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

  // A folder walk ended before it visited every entry: `code` is the copy
  // failure or enumeration error that ended it. Both front ends list it
  // (engine/run_problems.h).
  virtual void WalkStopped(const std::string& folder, unsigned long code) {
    (void)folder;
    (void)code;
  }

  // A walk did not enter a folder because it is the destination tree or a
  // folder the walk is already inside (a link loop).
  virtual void FolderSkipped(const std::string& folder, const std::string& reason) {
    (void)folder;
    (void)reason;
  }

  // A walk left out an entry of the medium, so the kit lacks it: a link that
  // leads outside the medium (whatever lies there is not the medium's to
  // give, and may be the whole disk).
  virtual void EntryLeftOut(const std::string& path, const std::string& reason) {
    (void)path;
    (void)reason;
  }
};

}  // namespace vostrel
