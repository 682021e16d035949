#include "engine/steps.h"

namespace vostrel {

namespace {

void CopySingleFile(RunContext& run, const char* suffix) {
  run.fs.CopyOneFile(run.sourceRoot + suffix, run.destRoot + suffix, true);
}

}  // namespace

void CopySetupAndTools(RunContext& run) {
  run.feedback.SetStatus("Copying Talvor Imaging Setup Files...");
  CopyTree(run, run.sourceRoot, run.destRoot, false);
  CreateFolders(run, {"\\Talvor Imaging", "\\Talvor Imaging\\Tools"});
  run.feedback.SetStatus("Copying Talvor Imaging Tools...");
  for (const char* tool :
       {"\\Talvor Imaging\\Tools\\VOKConfig.exe", "\\Talvor Imaging\\Tools\\vokdrv.exe",
        "\\Talvor Imaging\\Tools\\BchResum.bch", "\\Talvor Imaging\\Tools\\vokbench.exe"}) {
    CopySingleFile(run, tool);
  }
}

void CopyRuntimePackage(RunContext& run) {
  run.feedback.SetStatus("Copying VOK Runtime Files...");
  CreateFolders(run, {"\\Talvor Imaging", "\\Talvor Imaging\\Vok", "\\Talvor Imaging\\Vok\\dll"});
  CopyTree(run, run.sourceRoot + "\\Talvor Imaging\\Vok\\dll",
           run.destRoot + "\\Talvor Imaging\\Vok\\dll", true);
  CopySingleFile(run, "\\Talvor Imaging\\Vok\\Revision.txt");
  CopySingleFile(run, "\\Talvor Imaging\\Vok\\SetupType.txt");
  // A copy of a read-only medium file is read-only, and the edits below
  // would fail on it.
  run.fs.SetAttributes(run.destRoot + "\\Talvor Imaging\\Vok\\SetupType.txt", kFileAttributeNormal);
  WriteRuntimeEntries(run);
}

void CopyControlPackage(RunContext& run) {
  run.feedback.SetStatus("Copying Quenzo Files...");
  CreateFolders(
      run, {"\\Talvor Imaging", "\\Talvor Imaging\\Quenzo", "\\Talvor Imaging\\Quenzo\\Controls"});
  CopyTree(run, run.sourceRoot + "\\Talvor Imaging\\Quenzo\\Controls",
           run.destRoot + "\\Talvor Imaging\\Quenzo\\Controls", true);
}

void CopyCameraToolPackage(RunContext& run) {
  run.feedback.SetStatus("Copying Talvor Framory Files...");
  CreateFolders(run, {"\\Talvor Imaging", "\\Talvor Imaging\\Framory"});
  CopyTree(run, run.sourceRoot + "\\Talvor Imaging\\Framory",
           run.destRoot + "\\Talvor Imaging\\Framory", true);
}

}  // namespace vostrel
