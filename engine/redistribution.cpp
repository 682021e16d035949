#include "engine/redistribution.h"

#include "engine/steps.h"

namespace vostrel {

const char* const kMessageNoSource = "Must Select the Source for Redistribution";
const char* const kMessageNoDestination =
    "Must Select the Destination for The Copy Of Redistribution";
const char* const kMessageNoPackage = "Must Select A Package For Redistribution";
const char* const kMessageDestinationIsSource = "Must Select a Destination Other Than the Source";

const char* const kStatusComplete = "Redistribution Complete";

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
  return NormalizedFoldedPath(fs.FullPath(a)) == NormalizedFoldedPath(fs.FullPath(b));
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
  if (SameFolder(fs, sourceRoot, destRoot)) return std::string(kMessageDestinationIsSource);
  return std::nullopt;
}

void RunRedistribution(FileSystem& fs, RunFeedback& feedback, const std::string& sourceRoot,
                       const std::string& destRoot, const KitSelection& selection,
                       const RunOptions& options) {
  if (std::optional<std::string> message = ValidateRun(fs, sourceRoot, destRoot, selection)) {
    feedback.ShowMessage(*message);
    return;
  }
  WaitCursorScope waitCursor(feedback);
  FolderId destId;
  const bool haveDestId = fs.IdentifyFolder(destRoot, destId);
  RunContext run{fs,
                 feedback,
                 sourceRoot,
                 destRoot,
                 selection,
                 haveDestId,
                 destId,
                 NormalizedFoldedPath(fs.FullPath(destRoot)),
                 options.resume};

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
  feedback.SetStatus(kStatusComplete);
}

}  // namespace vostrel
