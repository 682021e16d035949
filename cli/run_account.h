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
  // shared with the engine's notices (KitFeedback).
  RunAccount(Console& console, RunProblems& problems) : console_(console), problems_(problems) {}

  // Counts one operation (and a copy on the progress line).
  void Count(const Operation& operation);
  // Takes in every failure the console heard and says the summary line.
  void Close();

  const Summary& summary() const { return summary_; }

 private:
  Console& console_;
  RunProblems& problems_;
  Summary summary_;
};

}  // namespace vostrel::cli
