#include "cli/roots.h"

#include <optional>

#include "cli/outputs.h"
#include "engine/redistribution.h"
#include "engine/windows_path.h"
#include "platform/native.h"

namespace vostrel::cli {

namespace {

bool NativeBackslashSeparates() { return platform::PreferredSeparator() == '\\'; }

bool RootsGiven(const Options& options, Console& console) {
  if (options.source.empty()) {
    console.Message(kMessageNoSource);
    return false;
  }
  if (options.destination.empty()) {
    console.Message(kMessageNoDestination);
    return false;
  }
  if (NativeBackslashSeparates()) return true;
  for (const std::string* root : {&options.source, &options.destination}) {
    if (root->find('\\') != std::string::npos) {
      console.Err("refusing " + *root + ": a path holding '\\' would be split into folders");
      return false;
    }
  }
  return true;
}

// The item at an absolute root: false after "<what> not found: <as given>".
bool Found(FileSystem& disk, const std::string& absolute, const std::string& given,
           const std::string& what, Console& console, FileInfo& info) {
  if (!absolute.empty() && disk.GetInfo(absolute, info)) return true;
  console.Err(what + " not found: " + given);
  return false;
}

// A file holding an image of the medium is the medium's root itself.
// Nothing when the file holds none; else whether the image can be read
// (false after the reason).
std::optional<bool> OpenedAsImage(const std::string& absolute, Console& console) {
  std::string problem;
  switch (platform::OpenImageSource(absolute, problem)) {
    case platform::ImageSource::kNotImage:
      return std::nullopt;
    case platform::ImageSource::kOpened:
      return true;
    case platform::ImageSource::kRefused:
      break;
  }
  console.Err(problem);
  return false;
}

bool ResolveSource(FileSystem& disk, const std::string& path, Console& console, std::string& root) {
  const std::string absolute = platform::AbsolutePath(path);
  FileInfo info;
  if (!Found(disk, absolute, path, "source", console, info)) return false;
  if (info.isDirectory) {
    root = winpath::DropTrailingSeparators(absolute, NativeBackslashSeparates());
  } else if (const std::optional<bool> image = OpenedAsImage(absolute, console)) {
    if (!*image) return false;
    root = absolute;
  } else if (NativeBackslashSeparates()) {
    root = StripFileName(absolute);
  } else {
    root = winpath::ParentOf(absolute, false);
    if (root.empty()) root = "/";
  }
  return true;
}

bool ResolveDestination(FileSystem& disk, const std::string& path, DestinationUse use,
                        Console& console, std::string& root) {
  const std::string absolute = platform::AbsolutePath(path);
  root = winpath::DropTrailingSeparators(absolute, NativeBackslashSeparates());
  if (use == DestinationUse::kRun) {
    if (!root.empty()) return true;
    console.Err("cannot resolve the destination: " + path);
    return false;
  }
  FileInfo info;
  if (!Found(disk, root, path, "destination", console, info)) return false;
  if (!info.isDirectory) {
    console.Err("the destination is not a folder: " + path);
    return false;
  }
  return true;
}

}  // namespace

bool PrepareRoots(const Options& options, FileSystem& disk, DestinationUse use, Console& console,
                  Roots& roots) {
  if (!RootsGiven(options, console)) return false;
  if (!options.reportFile.empty()) {
    if (std::optional<std::string> problem = CheckOutputPlace(options.reportFile, "report", "")) {
      console.Err(*problem);
      return false;
    }
  }
  if (!ResolveSource(disk, options.source, console, roots.source) ||
      !ResolveDestination(disk, options.destination, use, console, roots.destination)) {
    return false;
  }
  if (std::optional<std::string> message =
          ValidateRun(disk, roots.source, roots.destination, options.selection)) {
    console.Message(*message);
    return false;
  }
  if (std::optional<std::string> problem = CheckKitOutputs(options, roots.destination)) {
    console.Err(*problem);
    return false;
  }
  return true;
}

}  // namespace vostrel::cli
