#include "engine/kit_layout.h"
#include "engine/steps.h"

namespace vostrel {

using namespace kit_layout;

namespace {

constexpr KitPath kToolFiles[] = {
    {kTools, "VOKConfig.exe"},
    {kTools, "vokdrv.exe"},
    {kTools, "BchResum.bch"},
    {kTools, "vokbench.exe"},
};

void CopySingleFile(RunContext& run, const char* suffix) {
  run.fs.CopyOneFile(run.sourceRoot + suffix, run.destRoot + suffix, true);
}

}  // namespace

void CopySetupAndTools(RunContext& run) {
  run.feedback.SetStatus("Copying Talvor Imaging Setup Files...");
  CopyTree(run, run.sourceRoot, run.destRoot, false);
  CreateFolders(run, {kTalvorImaging, kTools});
  run.feedback.SetStatus("Copying Talvor Imaging Tools...");
  for (const KitPath& tool : kToolFiles) CopySingleFile(run, tool);
}

void CopyRuntimePackage(RunContext& run) {
  run.feedback.SetStatus("Copying VOK Runtime Files...");
  CreateFolders(run, {kTalvorImaging, kVok, kVokDll});
  CopyFolder(run, kVokDll);
  CopySingleFile(run, kRevisionFile);
  CopySingleFile(run, kSetupTypeFile);
  // A copy of a read-only medium file is read-only, and the edits below
  // would fail on it.
  run.fs.SetAttributes(run.destRoot + kSetupTypeFile, kFileAttributeNormal);
  WriteRuntimeEntries(run);
}

void CopyControlPackage(RunContext& run) {
  run.feedback.SetStatus("Copying Quenzo Files...");
  CreateFolders(run, {kTalvorImaging, kQuenzo, kQuenzoControls});
  CopyFolder(run, kQuenzoControls);
}

void CopyCameraToolPackage(RunContext& run) {
  run.feedback.SetStatus("Copying Talvor Framory Files...");
  CreateFolders(run, {kTalvorImaging, kFramory});
  CopyFolder(run, kFramory);
}

}  // namespace vostrel
