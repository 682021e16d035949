// The steps of a run and what they share. Internal to the engine; front ends
// call RunRedistribution.
#pragma once

#include <string>
#include <vector>

#include "engine/file_system.h"
#include "engine/kit_selection.h"
#include "engine/run_feedback.h"
#include "engine/run_result.h"

namespace vostrel {

struct RunContext {
  FileSystem& fs;
  RunFeedback& feedback;
  RunResultBuilder& result;  // takes the walks' notices
  std::string sourceRoot;
  std::string destRoot;
  KitSelection selection;
  // The destination root on disk, so no walk copies the kit into itself.
  bool haveDestId = false;
  FolderId destId;
  std::string destFullPath;  // as the file system spells it, for the nesting check
  bool resume = false;       // walks go on past files already present
};

// The folder copier. Returns 0 when the walk of `source` ran to its end (or
// the folder cannot be enumerated at all), else the error that ended it.
unsigned long CopyTree(RunContext& run, const std::string& source, const std::string& dest,
                       bool recursive);

// Copies the medium's root + `suffix` into the kit's root + `suffix`.
void CopyFolder(RunContext& run, const char* suffix, bool recursive = true);

void CopySetupAndTools(RunContext& run);
void CopyRuntimePackage(RunContext& run);
void CopyControlPackage(RunContext& run);
void CopyCameraToolPackage(RunContext& run);
void CopyDrivers(RunContext& run);
void CopyJuranoRuntime(RunContext& run);

// Setup-type file entries.
void WriteRuntimeEntries(RunContext& run);
void WriteControlPackageEntries(RunContext& run);
void WriteCameraToolEntries(RunContext& run);

// Creates root + each suffix in order, ignoring the results (an existing
// folder is fine; every step creates its folders from the top down).
void CreateFolders(RunContext& run, const std::vector<const char*>& suffixes);

}  // namespace vostrel
