#include "cli/kit_run.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "cli/manifest.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "engine/dry_run_file_system.h"
#include "engine/recording_file_system.h"
#include "engine/redistribution.h"
#include "platform/native.h"

namespace vostrel::cli {

namespace {

constexpr const char* kPrefix = "vostrel-kit: ";

bool IsNativeSeparator(char c) {
  return c == '/' || (platform::PreferredSeparator() == '\\' && c == '\\');
}

// Trailing separators go; a root ("/", "X:\") stays whole.
std::string DropTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsNativeSeparator(path.back())) {
    if (path.size() == 3 && path[1] == ':') break;
    path.pop_back();
  }
  return path;
}

// A path as the person writes it on this platform: native separators, runs
// of them collapsed (a leading pair on Windows names a network share).
std::string DisplayPath(const std::string& path) {
  const char separator = platform::PreferredSeparator();
  std::string shown;
  shown.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    char c = (path[i] == '\\' || path[i] == '/') ? separator : path[i];
    if (c == separator && !shown.empty() && shown.back() == separator &&
        (separator == '/' || i > 1)) {
      continue;
    }
    shown.push_back(c);
  }
  return shown;
}

std::string FolderOfPattern(const std::string& pattern) {
  std::size_t cut = pattern.find_last_of("\\/");
  return cut == std::string::npos ? pattern : pattern.substr(0, cut);
}

std::string CodeText(unsigned long code) {
  return "error " + std::to_string(code) + " (" + ErrorMeaning(code) + ")";
}

// What the run said and did, as the person and the report see it.
class KitFeedback : public RunFeedback {
 public:
  KitFeedback(const Options& options, std::ostream& out, std::ostream& err)
      : options_(options), out_(out), err_(err) {}

  void SetRecorder(const RecordingFileSystem* recorder) { recorder_ = recorder; }
  void SetProgress(ProgressLine* progress) { progress_ = progress; }

  // stdout: the status lines, and in a dry run the would-be changes.
  void PrintOut(const std::string& line) {
    if (options_.quiet) return;
    if (progress_) progress_->Clear();
    out_ << line << '\n' << std::flush;
  }

  void PrintErr(const std::string& line) {
    if (progress_) progress_->Clear();
    err_ << kPrefix << line << '\n' << std::flush;
  }

  void Warn(const std::string& text) {
    warnings_.push_back(text);
    PrintErr("warning: " + text);
  }

  void Failed(const std::string& text) {
    failures_.push_back(text);
    PrintErr(text);
  }

  void SetStatus(const std::string& text) override {
    status_.push_back(text);
    PrintOut(text);
  }

  // Validation messages are checked before the run; one shown by the run
  // itself still ends it as a validation failure.
  void ShowMessage(const std::string& text) override {
    messageShown_ = true;
    if (progress_) progress_->Clear();
    err_ << text << '\n' << std::flush;
  }

  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}

  void WalkStopped(const std::string& folder, unsigned long code) override {
    walkStopped_ = true;
    const Operation* copy = nullptr;
    if (recorder_ && !recorder_->operations().empty()) {
      const Operation& last = recorder_->operations().back();
      if (last.kind == OperationKind::kCopyFile && !last.ok) copy = &last;
    }
    if (copy && copy->code == win32_error::kFileExists) {
      Warn("stopped copying " + DisplayPath(folder) + " at " + DisplayPath(copy->target) +
           ", which the kit already holds; the entries after it were not copied");
    } else if (copy) {
      Warn("stopped copying " + DisplayPath(folder) + " after the failed copy of " +
           DisplayPath(copy->path) + "; the entries after it were not copied");
    } else {
      Warn("stopped copying " + DisplayPath(folder) + ": its listing ended with " + CodeText(code) +
           "; the entries after it were not copied");
    }
  }

  void FolderSkipped(const std::string& folder, const std::string& reason) override {
    Warn("did not copy " + DisplayPath(folder) + ": " + reason);
  }

  // The kit lacks what the medium holds there: a failure, not a warning.
  void EntryLeftOut(const std::string& path, const std::string& reason) override {
    Failed("did not copy " + DisplayPath(path) + ": " + reason);
  }

  void Skipped(const std::string& folder, const std::string& name, const std::string& reason) {
    Failed("skipped " + DisplayPath(folder) + platform::PreferredSeparator() + name + ": " +
           reason);
  }

  // Counts one recorded operation; lists it when it leaves the kit
  // incomplete or wrong.
  void Account(const Operation& operation) {
    switch (operation.kind) {
      case OperationKind::kCreateFolder:
        if (operation.ok) {
          ++summary_.foldersCreated;
        } else if (operation.code != win32_error::kAlreadyExists) {
          Failed(std::string(OperationName(operation.kind)) + " " + DisplayPath(operation.path) +
                 " failed: " + CodeText(operation.code));
        }
        break;
      case OperationKind::kCopyFile:
        if (progress_) progress_->FileDone(operation.ok ? operation.bytes : 0);
        if (operation.ok) {
          ++summary_.filesCopied;
          summary_.bytesCopied += operation.bytes;
        } else if (operation.code == win32_error::kFileExists) {
          ++summary_.filesKept;
        } else {
          Failed(std::string(OperationName(operation.kind)) + " " + DisplayPath(operation.path) +
                 " -> " + DisplayPath(operation.target) + " failed: " + CodeText(operation.code));
        }
        break;
      case OperationKind::kFindFirst:
        // A missing folder counts as an empty one; one that exists but cannot
        // be listed (access denied, name too long) leaves its whole content out.
        if (!operation.ok && operation.code != win32_error::kFileNotFound &&
            operation.code != win32_error::kPathNotFound) {
          Failed(std::string(OperationName(operation.kind)) + " " +
                 DisplayPath(FolderOfPattern(operation.path)) +
                 " failed: " + CodeText(operation.code));
        }
        break;
      case OperationKind::kFindEnd:
        // 0: the walk closed the listing after a failed copy (WalkStopped says so).
        if (operation.code != win32_error::kSuccess &&
            operation.code != win32_error::kNoMoreFiles) {
          Failed(std::string(OperationName(operation.kind)) + " " +
                 DisplayPath(FolderOfPattern(operation.path)) +
                 " ended before the last entry: " + CodeText(operation.code));
        }
        break;
      case OperationKind::kSetAttributes:
        if (!operation.ok && operation.code != win32_error::kFileNotFound) {
          Failed(std::string(OperationName(operation.kind)) + " " + DisplayPath(operation.path) +
                 " failed: " + CodeText(operation.code));
        }
        break;
      case OperationKind::kWriteProfile:
        if (!operation.ok) {
          Failed(std::string(OperationName(operation.kind)) + " [" + operation.section + "] " +
                 operation.key + "=" + operation.value + " in " + DisplayPath(operation.path) +
                 " failed: " + CodeText(operation.code));
        }
        break;
      case OperationKind::kRemoveFile:
        if (operation.ok) {
          ++summary_.filesRemoved;
        } else if (operation.code != win32_error::kFileNotFound) {
          Failed(std::string(OperationName(operation.kind)) + " " + DisplayPath(operation.path) +
                 " failed: " + CodeText(operation.code));
        }
        break;
    }
  }

  // A dry run's would-be change, one line on stdout.
  void ListChange(const Operation& change) {
    switch (change.kind) {
      case OperationKind::kCreateFolder:
        PrintOut("create " + DisplayPath(change.path));
        break;
      case OperationKind::kCopyFile:
        PrintOut("copy " + DisplayPath(change.path) + " -> " + DisplayPath(change.target));
        break;
      case OperationKind::kWriteProfile:
        PrintOut("write " + DisplayPath(change.path) + " [" + change.section + "] " + change.key +
                 "=" + change.value);
        break;
      case OperationKind::kRemoveFile:
        PrintOut("remove " + DisplayPath(change.path));
        break;
      case OperationKind::kSetAttributes:
        PrintOut(
            (change.attributes == kFileAttributeNormal ? "reset attributes " : "set attributes ") +
            DisplayPath(change.path));
        break;
      case OperationKind::kFindFirst:
      case OperationKind::kFindEnd:
        break;
    }
  }

  void PrintSummary() {
    summary_.failures = failures_.size();
    PrintErr(std::to_string(summary_.filesCopied) + " files copied (" +
             std::to_string(summary_.bytesCopied) + " bytes), " +
             std::to_string(summary_.foldersCreated) + " folders created, " +
             std::to_string(summary_.filesKept) + " files kept (already present), " +
             std::to_string(summary_.filesRemoved) + " files removed, " +
             std::to_string(summary_.failures) + " failures");
  }

  bool messageShown() const { return messageShown_; }
  bool incomplete() const { return walkStopped_ || !failures_.empty(); }
  const std::vector<std::string>& status() const { return status_; }
  const std::vector<std::string>& warnings() const { return warnings_; }
  const std::vector<std::string>& failures() const { return failures_; }
  const Summary& summary() const { return summary_; }

 private:
  const Options& options_;
  std::ostream& out_;
  std::ostream& err_;
  const RecordingFileSystem* recorder_ = nullptr;
  ProgressLine* progress_ = nullptr;
  std::vector<std::string> status_;
  std::vector<std::string> warnings_;
  std::vector<std::string> failures_;
  Summary summary_;
  bool messageShown_ = false;
  bool walkStopped_ = false;
};

// Feedback of the planning pass: nothing is shown.
class SilentFeedback : public RunFeedback {
 public:
  void SetStatus(const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
};

// The files and bytes a run would copy into an empty destination.
void PlanTotals(const std::string& sourceRoot, const std::string& destRoot,
                const KitSelection& selection, uint64_t& files, uint64_t& bytes) {
  std::unique_ptr<FileSystem> disk = platform::MakeNativeFileSystem();
  DryRunFileSystem plan(*disk);
  plan.PretendEmptyFolder(destRoot);
  files = 0;
  bytes = 0;
  plan.SetChangeObserver([&](const Operation& change) {
    if (change.kind != OperationKind::kCopyFile) return;
    ++files;
    bytes += change.bytes;
  });
  SilentFeedback silent;
  RunRedistribution(plan, silent, sourceRoot, destRoot, selection);
}

// Where the report will go must exist before the run, so a long run does not
// end without the report it was asked for.
std::optional<std::string> CheckReportPlace(const std::string& file) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path path(file);
  if (fs::is_directory(path, error)) return "the report path is a folder: " + file;
  fs::path folder = path.parent_path();
  if (folder.empty()) return std::nullopt;
  if (!fs::is_directory(folder, error)) {
    return "the report's folder does not exist: " + folder.string();
  }
  return std::nullopt;
}

// A hidden temporary one of our writers leaves behind when the run is killed
// before it puts the finished file in place: ".vostrel-copy-XXXXXX" (a copy
// on a disk without anonymous files) or ".NAME.xxxxxxxx.tmp" (a setup-type
// edit). Names beginning with "." are never copied from a medium, so in a
// kit they can only be ours.
bool IsLeftoverTemporary(const std::string& name) {
  auto alphanumeric = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  };
  auto allAlphanumeric = [&](std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i) {
      if (!alphanumeric(name[i])) return false;
    }
    return true;
  };
  const std::string copyPrefix = ".vostrel-copy-";
  if (name.size() == copyPrefix.size() + 6 && name.compare(0, copyPrefix.size(), copyPrefix) == 0) {
    return allAlphanumeric(copyPrefix.size(), 6);
  }
  // "." + name + "." + 8 characters + ".tmp"
  const std::size_t tail = 1 + 8 + 4;
  return name.size() > 1 + tail && name[0] == '.' &&
         name.compare(name.size() - 4, 4, ".tmp") == 0 && name[name.size() - tail] == '.' &&
         allAlphanumeric(name.size() - tail + 1, 8);
}

// Before a resumed run: the temporaries an interrupted run left in the kit go,
// so the completed kit holds exactly what an uninterrupted run would. Links
// are not followed and a medium inside the destination is not entered.
void RemoveLeftoverTemporaries(const std::string& destRoot, const std::string& sourceRoot,
                               KitFeedback& feedback) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::recursive_directory_iterator it(destRoot, fs::directory_options::skip_permission_denied,
                                      error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::error_code ignored;
    const fs::file_status status = it->symlink_status(ignored);
    if (fs::is_directory(status)) {
      if (fs::equivalent(it->path(), sourceRoot, ignored)) it.disable_recursion_pending();
      continue;
    }
    if (!fs::is_regular_file(status) || !IsLeftoverTemporary(it->path().filename().string())) {
      continue;
    }
    if (fs::remove(it->path(), ignored)) {
      feedback.Warn("removed " + it->path().string() + ", left by an interrupted run");
    }
  }
}

}  // namespace

std::string ErrorMeaning(unsigned long code) {
  switch (code) {
    case win32_error::kSuccess:
      return "closed early";
    case win32_error::kInvalidFunction:
      return "not supported here";
    case win32_error::kFileNotFound:
      return "file not found";
    case win32_error::kPathNotFound:
      return "folder not found";
    case win32_error::kTooManyOpenFiles:
      return "too many open files";
    case win32_error::kAccessDenied:
      return "access denied";
    case win32_error::kNotEnoughMemory:
      return "not enough memory";
    case win32_error::kNoMoreFiles:
      return "no more entries";
    case win32_error::kGenFailure:
      return "device failure";
    case win32_error::kSharingViolation:
      return "in use by another process";
    case win32_error::kFileExists:
      return "already present";
    case win32_error::kInvalidParameter:
      return "invalid parameter";
    case win32_error::kDiskFull:
      return "disk full";
    case win32_error::kInvalidName:
      return "invalid name";
    case win32_error::kDirNotEmpty:
      return "folder not empty";
    case win32_error::kAlreadyExists:
      return "already exists";
    case win32_error::kFilenameExcedRange:
      return "name too long";
    case win32_error::kDirectory:
      return "not a folder";
    case win32_error::kIoDevice:
      return "I/O error";
    case win32_error::kCantResolveFilename:
      return "too many levels of links";
    default:
      return "system error";
  }
}

bool ResolveSourceRoot(FileSystem& fs, const std::string& path, std::string& root,
                       std::string& error) {
  std::string absolute = platform::AbsolutePath(path);
  FileInfo info;
  if (absolute.empty() || !fs.GetInfo(absolute, info)) {
    error = "source not found: " + path;
    return false;
  }
  if (info.isDirectory) {
    root = DropTrailingSeparators(absolute);
  } else if (platform::PreferredSeparator() == '\\') {
    root = StripFileName(absolute);
  } else {
    std::size_t cut = absolute.rfind('/');
    root = (cut == std::string::npos || cut == 0) ? std::string("/") : absolute.substr(0, cut);
  }
  return true;
}

std::optional<int> CheckRoots(const Options& options, std::ostream& err) {
  // Validation messages stand alone on their line, exactly as the window shows them.
  if (options.source.empty()) {
    err << kMessageNoSource << '\n';
    return kExitUsage;
  }
  if (options.destination.empty()) {
    err << kMessageNoDestination << '\n';
    return kExitUsage;
  }
  if (platform::PreferredSeparator() == '/') {
    for (const std::string* root : {&options.source, &options.destination}) {
      if (root->find('\\') != std::string::npos) {
        err << kPrefix << "refusing " << *root
            << ": a path holding '\\' would be split into folders\n";
        return kExitUsage;
      }
    }
  }
  return std::nullopt;
}

int RunKit(const Options& options, std::ostream& out, std::ostream& err, bool showProgress) {
  if (std::optional<int> refused = CheckRoots(options, err)) return *refused;
  if (!options.reportFile.empty()) {
    if (std::optional<std::string> problem = CheckReportPlace(options.reportFile)) {
      err << kPrefix << *problem << '\n';
      return kExitUsage;
    }
  }

  KitFeedback feedback(options, out, err);
  std::unique_ptr<FileSystem> native = platform::MakeNativeFileSystem(
      [&feedback](const std::string& folder, const std::string& name, const std::string& reason) {
        feedback.Skipped(folder, name, reason);
      });
  std::unique_ptr<DryRunFileSystem> dryRun;
  FileSystem* disk = native.get();
  if (options.dryRun) {
    dryRun = std::make_unique<DryRunFileSystem>(*native);
    dryRun->SetChangeObserver(
        [&feedback](const Operation& change) { feedback.ListChange(change); });
    disk = dryRun.get();
  }

  std::string sourceRoot, error;
  if (!ResolveSourceRoot(*disk, options.source, sourceRoot, error)) {
    err << kPrefix << error << '\n';
    return kExitUsage;
  }
  std::string destRoot = platform::AbsolutePath(options.destination);
  if (destRoot.empty()) {
    err << kPrefix << "cannot resolve the destination: " << options.destination << '\n';
    return kExitUsage;
  }
  destRoot = DropTrailingSeparators(destRoot);
  if (std::optional<std::string> problem = CheckKitOutputs(options, destRoot)) {
    err << kPrefix << *problem << '\n';
    return kExitUsage;
  }

  // Nothing may be created before the run is known to be allowed.
  if (std::optional<std::string> message =
          ValidateRun(*disk, sourceRoot, destRoot, options.selection)) {
    err << *message << '\n';
    return kExitUsage;
  }
  bool created = options.dryRun ? dryRun->CreateFolderWithParents(destRoot, error)
                                : platform::CreateFolderWithParents(destRoot, error);
  if (!created) {
    err << kPrefix << "cannot create the destination " << DisplayPath(destRoot) << ": " << error
        << '\n';
    return kExitUsage;
  }

  if (options.resume && !options.dryRun) {
    RemoveLeftoverTemporaries(destRoot, sourceRoot, feedback);
  }

  std::optional<ProgressLine> progress;
  if (showProgress && !options.quiet) {
    uint64_t files = 0, bytes = 0;
    PlanTotals(sourceRoot, destRoot, options.selection, files, bytes);
    progress.emplace(err, files, bytes);
    feedback.SetProgress(&*progress);
  }

  RecordingFileSystem recorder(*disk);
  recorder.SetKeepAll(!options.reportFile.empty());  // only the report needs every operation
  feedback.SetRecorder(&recorder);
  recorder.SetObserver([&feedback](const Operation& operation) { feedback.Account(operation); });
  RunOptions runOptions;
  runOptions.resume = options.resume;
  RunRedistribution(recorder, feedback, sourceRoot, destRoot, options.selection, runOptions);
  if (progress) progress->Clear();
  feedback.SetProgress(nullptr);
  if (feedback.messageShown()) return kExitUsage;

  // The manifest and the image describe the kit as the run left it.
  OutputMessages outputs;
  WriteKitOutputs(options, destRoot, {}, outputs);
  for (const std::string& note : outputs.notes) feedback.PrintErr(note);
  for (const std::string& warning : outputs.warnings) feedback.Warn(warning);
  for (const std::string& failure : outputs.failures) feedback.Failed(failure);

  feedback.PrintSummary();
  int exitCode = feedback.incomplete() ? kExitIncomplete : kExitComplete;

  if (!options.reportFile.empty()) {
    ReportData report;
    report.dryRun = options.dryRun;
    report.sourceRoot = sourceRoot;
    report.destinationRoot = destRoot;
    report.selection = options.selection;
    report.status = feedback.status();
    report.operations = &recorder.operations();
    report.warnings = feedback.warnings();
    report.failures = feedback.failures();
    report.summary = feedback.summary();
    report.exitCode = exitCode;
    if (!WriteWholeFile(options.reportFile, ReportJson(report), error)) {
      err << kPrefix << "cannot write the report " << options.reportFile << ": " << error << '\n';
      exitCode = kExitIncomplete;
    }
  }
  return exitCode;
}

}  // namespace vostrel::cli
