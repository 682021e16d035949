#include "engine/redistribution.h"

#include "engine/kit_layout.h"
#include "engine/recording_file_system.h"
#include "engine/steps.h"
#include "engine/windows_path.h"

namespace vostrel {

const char* const kMessageNoSource = "Must Select the Source for Redistribution";
const char* const kMessageNoDestination =
    "Must Select the Destination for The Copy Of Redistribution";
const char* const kMessageNoPackage = "Must Select A Package For Redistribution";
const char* const kMessageDestinationIsSource = "Must Select a Destination Other Than the Source";

namespace {

// The wait cursor covers the steps and is restored on every way out,
// an exception included.
class WaitCursorScope {
 public:
  explicit WaitCursorScope(RunFeedback& feedback) : feedback_(feedback) {
    feedback_.BeginWaitCursor();
  }
  ~WaitCursorScope() { feedback_.EndWaitCursor(); }
  WaitCursorScope(const WaitCursorScope&) = delete;
  WaitCursorScope& operator=(const WaitCursorScope&) = delete;

 private:
  RunFeedback& feedback_;
};

// A kit built into the medium's own folder would edit the medium's
// setup-type file and delete its board libraries.
bool SameFolder(FileSystem& fs, const std::string& a, const std::string& b) {
  FolderId idA, idB;
  if (fs.IdentifyFolder(a, idA) && fs.IdentifyFolder(b, idB) && idA == idB) return true;
  return winpath::PathKey(fs.FullPath(a)) == winpath::PathKey(fs.FullPath(b));
}

// Below its root the kit writes only into its top folders, where it creates,
// edits and deletes files. A medium inside one of them, or one of them
// leading into the medium through a link, would have its own files changed.
bool KitFoldersOverlapMedium(FileSystem& fs, const std::string& sourceRoot,
                             const std::string& destRoot) {
  using winpath::IsWithin;
  const std::string medium = fs.FullPath(sourceRoot);
  const std::string dest = fs.FullPath(destRoot);
  for (const std::string& suffix : kit_layout::TopFolders()) {
    const std::string folder = fs.FullPath(destRoot + suffix);
    if (IsWithin(medium, folder)) return true;
    // A kit inside the medium is the person's choice; only a link out of it
    // back into the medium is refused.
    if (IsWithin(folder, medium) && !IsWithin(folder, dest)) return true;
  }
  return false;
}

}  // namespace

std::string StripFileName(const std::string& text) {
  const std::size_t cut = text.rfind('\\');
  if (cut == std::string::npos || cut == 0) return std::string();
  return text.substr(0, cut);
}

std::optional<std::string> ValidateRun(FileSystem& fs, const std::string& sourceRoot,
                                       const std::string& destRoot, const KitSelection& selection) {
  if (sourceRoot.empty()) return std::string(kMessageNoSource);
  if (destRoot.empty()) return std::string(kMessageNoDestination);
  if (!selection.libraryRuntime && !selection.controlPackage && !selection.cameraTool) {
    return std::string(kMessageNoPackage);
  }
  if (SameFolder(fs, sourceRoot, destRoot) || KitFoldersOverlapMedium(fs, sourceRoot, destRoot)) {
    return std::string(kMessageDestinationIsSource);
  }
  return std::nullopt;
}

RunResult RunRedistribution(FileSystem& fs, RunFeedback& feedback, const std::string& sourceRoot,
                            const std::string& destRoot, const KitSelection& selection,
                            const RunOptions& options) {
  if (std::optional<std::string> message = ValidateRun(fs, sourceRoot, destRoot, selection)) {
    feedback.ShowMessage(*message);
    RunResult refused;
    refused.refused = true;
    return refused;
  }
  WaitCursorScope waitCursor(feedback);
  RunResultBuilder builder(feedback);
  // Every operation reaches the result as it ends, before the step that
  // asked for it goes on.
  RecordingFileSystem accounted(fs);
  accounted.SetKeepAll(false);
  accounted.SetObserver([&builder](const Operation& operation) { builder.Account(operation); });
  FolderId destId;
  const bool haveDestId = fs.IdentifyFolder(destRoot, destId);
  const std::string destFullPath = fs.FullPath(destRoot);
  RunContext run{accounted, feedback,   builder, sourceRoot,   destRoot,
                 selection, haveDestId, destId,  destFullPath, options.resume};

  CopySetupAndTools(run);
  if (selection.libraryRuntime) CopyRuntimePackage(run);
  if (selection.controlPackage) {
    CopyControlPackage(run);
    WriteControlPackageEntries(run);
  }
  if (selection.cameraTool) {
    CopyCameraToolPackage(run);
    WriteCameraToolEntries(run);
  }
  CopyDrivers(run);
  feedback.RunEnded(builder.result());
  return builder.Take();
}

}  // namespace vostrel
