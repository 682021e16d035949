#include "cli/planned_run.h"

#include "engine/dry_run_file_system.h"
#include "engine/redistribution.h"

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

void PlannedCopies(platform::NativeFileSystem& disk, const std::string& sourceRoot,
                   const std::string& destRoot, const KitSelection& selection, uint64_t& files,
                   uint64_t& bytes) {
  // The run itself tells of the names it leaves out.
  const platform::SkipNoticesTo unheard(disk, nullptr);
  const RunResult planned =
      PlayOverEmptyDestination(disk, sourceRoot, destRoot, selection, nullptr);
  files = planned.counts.filesCopied;
  bytes = planned.counts.bytesCopied;
}

}  // namespace vostrel::cli
