// The redistribution run: what the Generate button does.
#pragma once

#include <optional>
#include <string>

#include "engine/file_system.h"
#include "engine/kit_selection.h"
#include "engine/run_feedback.h"
#include "engine/run_result.h"

namespace vostrel {

// The validation messages, in the order they are checked.
extern const char* const kMessageNoSource;
extern const char* const kMessageNoDestination;
extern const char* const kMessageNoPackage;
extern const char* const kMessageDestinationIsSource;

// The part of `text` before its last backslash, searching from index 1 on;
// empty when there is none.
std::string StripFileName(const std::string& text);

// The first validation message the run would show, or nothing when the run
// may start. Reads the disk only to compare the resolved roots.
std::optional<std::string> ValidateRun(FileSystem& fs, const std::string& sourceRoot,
                                       const std::string& destRoot, const KitSelection& selection);

// How a run treats a destination that already holds a kit.
struct RunOptions {
  // Walks go on past files already present (kept, never overwritten), so a
  // rerun completes an interrupted kit. Off in the window: there a walk ends
  // at the first file already present.
  bool resume = false;
};

// Validates, then performs the steps in their fixed order under the wait
// cursor, every operation through `fs` accounted in the result. Besides the
// disk, the status line and the message box, its output is that result.
RunResult RunRedistribution(FileSystem& fs, RunFeedback& feedback, const std::string& sourceRoot,
                            const std::string& destRoot, const KitSelection& selection,
                            const RunOptions& options = RunOptions());

}  // namespace vostrel
