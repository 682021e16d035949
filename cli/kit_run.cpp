#include "cli/kit_run.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "cli/change_listing.h"
#include "cli/console.h"
#include "cli/interruption.h"
#include "cli/kit_feedback.h"
#include "cli/messages.h"
#include "cli/outputs.h"
#include "cli/planned_run.h"
#include "cli/report.h"
#include "cli/roots.h"
#include "cli/verify.h"
#include "engine/dry_run_file_system.h"
#include "engine/folder_creation.h"
#include "engine/recording_file_system.h"
#include "engine/redistribution.h"
#include "engine/windows_path.h"
#include "platform/native.h"
#include "platform/whole_file.h"

namespace vostrel::cli {

namespace {

// The file systems of a run: the native one, and over it a dry run's that
// lists each would-be change instead of making it.
struct RunDisks {
  platform::NativeFileSystem& native;
  std::unique_ptr<DryRunFileSystem> dryRun;

  FileSystem& disk() { return dryRun ? static_cast<FileSystem&>(*dryRun) : native; }
};

RunDisks MakeDisks(platform::NativeFileSystem& native, const Options& options,
                   KitFeedback& feedback, Console& console) {
  native.SetSkipListener(
      [&feedback](const std::string& folder, const std::string& name, const std::string& reason,
                  platform::SkipKind kind) { feedback.Skipped(folder, name, reason, kind); });
  native.SetByteListener([&console](uint64_t bytes) { console.BytesMoved(bytes); });
  native.CopyAheadWith(RunJobs(options));
  native.ListNamesAndKindsOnly();
  RunDisks disks{native, nullptr};
  if (options.dryRun) {
    disks.dryRun = std::make_unique<DryRunFileSystem>(native);
    disks.dryRun->SetChangeObserver([&console](const Operation& change) {
      const std::string line = ChangeLine(change);
      if (!line.empty()) console.Out(line);
    });
  }
  return disks;
}

bool CreateDestination(RunDisks& disks, const std::string& destRoot, Console& console) {
  const FolderCreation created = CreateFolderWithParents(disks.disk(), destRoot);
  if (created.ok) return true;
  const std::string why =
      created.fileInTheWay
          ? "cannot create the folder \"" + destRoot + "\": \"" + created.level +
                "\" is a file, not a folder"
          : "cannot create the folder \"" + created.level + "\": " + ErrorMeaning(created.code);
  console.Err("cannot create the destination " + DisplayPath(destRoot) + ": " + why);
  return false;
}

// Before a resumed run: the temporaries an interrupted run left in the kit go,
// so the completed kit holds exactly what an uninterrupted run would. Links
// are not followed and a medium inside the destination is not entered.
void RemoveLeftoverTemporaries(const Roots& roots, Console& console) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::recursive_directory_iterator it(fs::u8path(roots.destination),
                                      fs::directory_options::skip_permission_denied, error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::error_code ignored;
    const fs::file_status status = it->symlink_status(ignored);
    if (fs::is_directory(status)) {
      if (fs::equivalent(it->path(), fs::u8path(roots.source), ignored))
        it.disable_recursion_pending();
      continue;
    }
    if (!fs::is_regular_file(status) ||
        !platform::IsTemporaryName(it->path().filename().u8string())) {
      continue;
    }
    if (fs::remove(it->path(), ignored)) {
      console.Warn("removed " + it->path().u8string() + ", left by an interrupted run");
    }
  }
}

// What a run may not do: anything more once it was interrupted, and, when
// it writes for real, anything through a link in the kit that leads out of
// it (a folder or file of the kit that is a link elsewhere is refused, as
// access denied, and so listed).
class RunGuard {
 public:
  RunGuard(FileSystem& disk, const std::string& destRoot, bool dryRun)
      : disk_(disk), destRoot_(destRoot), destFull_(dryRun ? "" : disk.FullPath(destRoot)) {}

  unsigned long operator()(const Operation& operation) const {
    if (Interruption() != 0) return win32_error::kOperationAborted;
    if (destFull_.empty() || operation.kind == OperationKind::kFindFirst ||
        operation.kind == OperationKind::kFindEnd) {
      return win32_error::kSuccess;
    }
    const std::string& written =
        operation.kind == OperationKind::kCopyFile ? operation.target : operation.path;
    if (!winpath::IsBelow(destRoot_, written)) {
      return win32_error::kSuccess;
    }
    const std::string full = disk_.FullPath(written);
    return full.empty() || Within(full) ? win32_error::kSuccess : win32_error::kAccessDenied;
  }

 private:
  // Whether `full` is within the kit. The folder of the last such path is
  // kept: a run writes one folder's files one after another, and a name in
  // a folder within the kit is within it.
  bool Within(const std::string& full) const {
    const size_t cut = winpath::LastSeparator(full);
    const bool named = cut != std::string::npos && cut + 1 < full.size();
    if (named && !withinFolder_.empty() && cut == withinFolder_.size() &&
        full.compare(0, cut, withinFolder_) == 0) {
      return true;
    }
    if (!winpath::IsWithin(full, destFull_)) return false;
    if (named && winpath::IsWithin(full.substr(0, cut), destFull_)) {
      withinFolder_ = full.substr(0, cut);
    }
    return true;
  }

  FileSystem& disk_;
  const std::string& destRoot_;
  const std::string destFull_;
  mutable std::string withinFolder_;
};

// The engine's run through `recorder`, each copy on the progress line when
// asked for. Nothing when interrupted before it started.
RunResult Play(const Options& options, const Roots& roots, bool showProgress,
               platform::NativeFileSystem& native, RecordingFileSystem& recorder,
               KitFeedback& feedback, Console& console) {
  if (Interruption() != 0) return RunResult();
  if (showProgress && !options.quiet) {
    uint64_t files = 0, bytes = 0;
    PlannedCopies(native, roots.source, roots.destination, options.selection, files, bytes);
    console.StartProgress(files, bytes);
  }
  recorder.SetKeepAll(!options.reportFile.empty());  // only the report needs every operation
  recorder.SetObserver([&console](const Operation& operation) {
    if (operation.kind == OperationKind::kCopyFile)
      console.CopyDone(operation.ok ? operation.bytes : 0);
  });
  RunOptions runOptions;
  runOptions.resume = options.resume;
  RunResult result = RunRedistribution(recorder, feedback, roots.source, roots.destination,
                                       options.selection, runOptions);
  console.EndProgress();
  return result;
}

ReportData ReportOf(const Options& options, const Roots& roots, const KitFeedback& feedback,
                    const Console& console, const RunResult& result,
                    const RecordingFileSystem& recorder) {
  ReportData report;
  report.dryRun = options.dryRun;
  report.jobs = RunJobs(options);
  report.sourceRoot = roots.source;
  report.destinationRoot = roots.destination;
  report.selection = options.selection;
  report.status = feedback.status();
  report.operations = &recorder.operations();
  report.warnings = console.warnings();
  report.failures = console.failures();
  report.counts = result.counts;
  return report;
}

// A resumed kit is complete only when the check --verify makes finds
// nothing: each difference is a failure. The digests it took, by relative
// path, serve the manifest.
std::map<std::string, std::string> CheckResumedKit(platform::NativeFileSystem& disk,
                                                   const Options& options, const Roots& roots,
                                                   Console& console) {
  if (!options.resume || options.dryRun || Interruption() != 0) return {};
  KitCheck check = CheckKit(disk, roots, options.selection);
  for (const std::string& difference : check.differences) console.Failed(difference);
  return std::move(check.digests);
}

// The manifest, the image, the report and the summary, once the kit is as
// the run leaves it; the exit status.
int Finish(const Options& options, const Roots& roots, bool showProgress,
           platform::NativeFileSystem& disk, const RecordingFileSystem& recorder,
           const RunResult& result, KitFeedback& feedback, Console& console) {
  OutputMessages outputs;
  WriteKitOutputs(disk, options, roots.outputs, roots.destination,
                  CheckResumedKit(disk, options, roots, console), outputs,
                  [&console, showProgress](uint64_t written, uint64_t total) {
                    if (showProgress) console.StageProgress("image", written, total);
                    return Interruption() == 0;
                  });
  console.EndProgress();
  console.Tell(outputs);
  if (Interruption() != 0) return kExitIncomplete;  // the caller ends by the signal
  if (!options.reportFile.empty()) {
    ReportData report = ReportOf(options, roots, feedback, console, result, recorder);
    report.image = outputs.image;
    report.exitCode = console.ExitStatus(result.complete());
    std::string error;
    // A signal ends a wait for the report's reader: the run then ends by it.
    if (!platform::WriteOutput(roots.outputs.report, ReportJson(report), error) &&
        Interruption() == 0) {
      console.Failed("the report " + options.reportFile + " was not written: " + error);
    }
    if (Interruption() != 0) return kExitIncomplete;
  }
  feedback.SaySummary(result.counts, options.dryRun);
  return console.ExitStatus(result.complete());
}

}  // namespace

int RunKit(const Options& options, std::ostream& out, std::ostream& err, bool showProgress) {
  Console console(out, err, options.quiet);
  KitFeedback feedback(console);
  Roots roots;
  const std::unique_ptr<platform::NativeFileSystem> native = OpenMedium(options, console, roots);
  if (!native) return kExitUsage;
  RunDisks disks = MakeDisks(*native, options, feedback, console);
  // Nothing may be created before the run is known to be allowed.
  if (!PrepareRoots(options, disks.disk(), DestinationUse::kRun, console, roots)) {
    return kExitUsage;
  }
  // One run at a time writes to a kit, or to a folder inside or above it; a
  // dry run writes nothing.
  const auto refuse = [&](const std::string& held) {
    console.Err("another run is writing to " + (held.empty() ? options.destination : held));
    return kExitUsage;
  };
  std::optional<std::string> held;
  if (!options.dryRun && (held = platform::FolderHeldNear(roots.destination))) {
    return refuse(*held);
  }
  if (!CreateDestination(disks, roots.destination, console)) return kExitUsage;
  std::unique_ptr<platform::FolderLock> lock;
  std::string holder;
  if (!options.dryRun && !(lock = platform::LockFolder(roots.destination, holder))) {
    return refuse(holder);
  }
  if (options.resume && !options.dryRun) RemoveLeftoverTemporaries(roots, console);

  RecordingFileSystem recorder(disks.disk());
  recorder.SetGuard(RunGuard(disks.native, roots.destination, options.dryRun));
  const RunResult result =
      Play(options, roots, showProgress, disks.native, recorder, feedback, console);
  if (result.refused) return kExitUsage;
  return Finish(options, roots, showProgress, disks.native, recorder, result, feedback, console);
}

}  // namespace vostrel::cli
