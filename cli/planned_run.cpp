#include "cli/planned_run.h"

#include <memory>

#include "engine/dry_run_file_system.h"
#include "engine/redistribution.h"
#include "platform/native.h"

namespace vostrel::cli {

namespace {

class SilentFeedback : public RunFeedback {
 public:
  void SetStatus(const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
};

}  // namespace

RunResult PlayOverEmptyDestination(FileSystem& disk, const std::string& sourceRoot,
                                   const std::string& destRoot, const KitSelection& selection,
                                   const std::function<void(const Operation&)>& observe) {
  DryRunFileSystem plan(disk);
  plan.PretendEmptyFolder(destRoot);
  RecordingFileSystem recorder(plan);
  recorder.SetKeepAll(false);  // the observer sees every operation
  recorder.SetObserver(observe);
  SilentFeedback silent;
  return RunRedistribution(recorder, silent, sourceRoot, destRoot, selection);
}

void PlannedCopies(const std::string& sourceRoot, const std::string& destRoot,
                   const KitSelection& selection, uint64_t& files, uint64_t& bytes) {
  std::unique_ptr<FileSystem> disk = platform::MakeNativeFileSystem();
  const RunResult planned =
      PlayOverEmptyDestination(*disk, sourceRoot, destRoot, selection, nullptr);
  files = planned.counts.filesCopied;
  bytes = planned.counts.bytesCopied;
}

}  // namespace vostrel::cli
