// What a run did and what of it leaves the kit incomplete or wrong, read in
// one place from the recorded operations and the walks' notices. Every front
// end takes this result; each words a problem itself (the command line with
// its error meanings, the window with the system's messages).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/recording_file_system.h"

namespace vostrel {

class RunFeedback;

// The status line's last text: after a run without a problem, and after one
// with a problem.
extern const char* const kStatusComplete;
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

// What the run's operations did (in a dry run: would do).
struct RunCounts {
  uint64_t filesCopied = 0;
  uint64_t bytesCopied = 0;
  uint64_t foldersCreated = 0;
  uint64_t filesKept = 0;  // copies refused because the kit already held the file
  uint64_t filesRemoved = 0;
};

struct RunResult {
  bool refused = false;              // a validation message ended the run before its first step
  std::vector<RunProblem> problems;  // in the order the run met them
  RunCounts counts;

  bool complete() const { return problems.empty(); }
  // Whether a walk stopped at a file the kit already held: the destination
  // held a kit, and an empty folder is the way to a whole one.
  bool MetEarlierKit() const;
};

// kStatusComplete or kStatusIncomplete, as `result` has a problem or not.
const char* LastStatus(const RunResult& result);

// Builds the result as the run goes, and hands each problem to the feedback
// the moment it is met.
class RunResultBuilder {
 public:
  explicit RunResultBuilder(RunFeedback& feedback) : feedback_(feedback) {}

  // Takes each operation, in order, as it gets its result: counted, and the
  // problem it is returned, or null: a file kept because the kit holds it, a
  // folder or file the medium lacks, a folder that already exists, an
  // operation refused because the run was asked to end are none. A problem
  // returned here stays valid until the next call.
  const RunProblem* Account(const Operation& operation);

  // The walks' notices. A stopped walk is a problem unless the run was asked
  // to end.
  const RunProblem* WalkStopped(const std::string& folder, unsigned long code);
  const RunProblem* EntryLeftOut(const std::string& path, const std::string& reason);

  const RunResult& result() const { return result_; }
  RunResult Take() { return std::move(result_); }

 private:
  void Count(const Operation& operation);
  const RunProblem* Add(RunProblem problem);

  RunFeedback& feedback_;
  RunResult result_;
  Operation last_{};  // the latest operation taken if a failed copy, for what ended a walk
  bool lastFailedCopy_ = false;
};

}  // namespace vostrel
