// The account of a run: every recorded operation counted as it happens, the
// ones that leave the kit incomplete or wrong said at once as failures, and
// the summary at the end.
#pragma once

#include <cstdint>

#include "cli/console.h"
#include "engine/recording_file_system.h"
#include "engine/run_problems.h"

namespace vostrel::cli {

struct Summary {
  uint64_t filesCopied = 0;
  uint64_t bytesCopied = 0;
  uint64_t foldersCreated = 0;
  uint64_t filesKept = 0;  // copies refused because the kit already held the file
  uint64_t filesRemoved = 0;
  uint64_t failures = 0;
};

class RunAccount {
 public:
  // `problems` is the run's one reading of what leaves the kit incomplete,
  // shared with the engine's notices (KitFeedback). A dry run's summary says
  // what the run would do.
  RunAccount(Console& console, RunProblems& problems, bool dryRun)
      : console_(console), problems_(problems), dryRun_(dryRun) {}

  // Counts one operation (and a copy on the progress line). An operation
  // refused because the run was interrupted is no failure of the kit.
  void Count(const Operation& operation);
  // Takes in every failure the console has heard so far.
  void Close();
  // Says the summary line, with every failure heard until now (a report
  // that could not be written included).
  void Say();

  const Summary& summary() const { return summary_; }

 private:
  Console& console_;
  RunProblems& problems_;
  const bool dryRun_;
  Summary summary_;
};

}  // namespace vostrel::cli
