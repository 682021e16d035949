// What of a run leaves the kit incomplete or wrong, read from the recorded
// operations and the run's notices. Both front ends use this one reading;
// each words a problem itself (the command line with its error meanings, the
// window with the system's messages).
#pragma once

#include <string>
#include <vector>

#include "engine/recording_file_system.h"

namespace vostrel {

// The status line's last text after a run that had a problem.
extern const char* const kStatusIncomplete;

enum class ProblemKind {
  kOperationFailed,   // `operation` failed with `code` (FindFirst: a folder that
                      // exists but cannot be listed; `path` is that folder)
  kListingEnded,      // the listing of the folder `path` ended before its last entry
  kStoppedAtKitFile,  // the walk of `path` stopped at `operation.target`, which
                      // the kit already held (a rerun into a kit)
  kStoppedAfterCopy,  // the walk of `path` stopped after the failed copy `operation`
  kStoppedListing,    // the walk of `path` stopped because its listing ended with `code`
  kEntryLeftOut,      // the walk left `path` out of the kit for `reason`
};

struct RunProblem {
  ProblemKind kind;
  std::string path;
  unsigned long code = 0;  // the Win32 error code; 0 for an entry left out
  Operation operation{};   // see ProblemKind
  std::string reason;      // kEntryLeftOut
};

class RunProblems {
 public:
  // Takes each recorded operation, in order, as it gets its result. The
  // problem it is, or null: a file kept because the kit holds it, a folder
  // or file the medium lacks, a folder that already exists, an operation
  // refused because the run was asked to end are none. A
  // problem returned here stays valid until the next call.
  const RunProblem* Account(const Operation& operation);

  // The run's notices (RunFeedback). A stopped walk is a problem unless the
  // run was asked to end; a folder the walk skips (the destination, a link
  // loop) never is.
  const RunProblem* WalkStopped(const std::string& folder, unsigned long code);
  const RunProblem* EntryLeftOut(const std::string& path, const std::string& reason);

  const std::vector<RunProblem>& problems() const { return problems_; }
  bool any() const { return !problems_.empty(); }
  // Whether a walk stopped at a file the kit already held: the destination
  // held a kit, and an empty folder is the way to a whole one.
  bool MetEarlierKit() const;

 private:
  const RunProblem* Add(RunProblem problem);

  std::vector<RunProblem> problems_;
  Operation last_{};  // the latest operation taken, for what ended a walk
  bool haveLast_ = false;
};

}  // namespace vostrel
