#include "cli/roots.h"

#include <optional>

#include "cli/outputs.h"
#include "engine/kit_layout.h"
#include "engine/name_key.h"
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
// (false after the reason), opened into `image`.
std::optional<bool> OpenedAsImage(const std::string& absolute, Console& console,
                                  std::unique_ptr<platform::OpenedImage>& image,
                                  const char* option = "--source") {
  std::string problem;
  switch (platform::OpenImageSource(absolute, image, problem, option)) {
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

std::unique_ptr<platform::NativeFileSystem> ResolveMedium(const std::string& given,
                                                          Console& console, std::string& root) {
  // The source is looked up on the disk as it stands; an image it names is
  // then read by the file system the command keeps.
  std::unique_ptr<platform::NativeFileSystem> disk = platform::MakeNativeFileSystem();
  const std::string absolute = platform::AbsolutePath(given);
  FileInfo info;
  if (!Found(*disk, absolute, given, "source", console, info)) return nullptr;
  // Where a link leads, spelled as on disk.
  const bool backslash = NativeBackslashSeparates();
  const std::string real = winpath::DropTrailingSeparators(disk->FullPath(absolute), backslash);
  std::unique_ptr<platform::OpenedImage> image;
  if (info.isDirectory) {
    root = real;
  } else if (const std::optional<bool> opened = OpenedAsImage(absolute, console, image)) {
    if (!*opened) return nullptr;
    disk = platform::MakeNativeFileSystem(std::move(image));
    root = absolute;  // the image stands as a folder where its file is named
  } else if (names::SameName(winpath::LastName(real, backslash),
                             kit_layout::kSetupProgram.c_str() + 1)) {
    // The engine forms every path as root + "\\" + names: a drive's root
    // stays "C:", the Linux root "/".
    root = winpath::ParentOf(real, backslash);
    if (root.empty() && !backslash) root = "/";
  }
  if (!root.empty() && kit_layout::IsMedium(*disk, root)) return disk;
  console.Err("not an installation medium: " + given);
  return nullptr;
}

std::unique_ptr<platform::NativeFileSystem> OpenMedium(const Options& options, Console& console,
                                                       Roots& roots) {
  if (!RootsGiven(options, console)) return nullptr;
  return ResolveMedium(options.source, console, roots.source);
}

bool OpenKitImage(const Options& options, platform::NativeFileSystem& disk, Console& console) {
  const std::string absolute = platform::AbsolutePath(options.destination);
  FileInfo info;
  if (absolute.empty() || !disk.GetInfo(absolute, info) || info.isDirectory) return true;
  std::unique_ptr<platform::OpenedImage> image;
  const std::optional<bool> opened = OpenedAsImage(absolute, console, image, "--dest");
  if (opened && *opened) disk.StandImage(std::move(image));
  return opened.value_or(true);
}

bool PrepareRoots(const Options& options, FileSystem& disk, DestinationUse use, Console& console,
                  Roots& roots) {
  if (!ResolveDestination(disk, options.destination, use, console, roots.destination)) {
    return false;
  }
  if (std::optional<std::string> message =
          ValidateRun(disk, roots.source, roots.destination, options.selection)) {
    console.Message(*message);
    return false;
  }
  if (std::optional<std::string> problem =
          CheckOutputs(options, disk, roots.source, roots.destination, roots.outputs)) {
    console.Err(*problem);
    return false;
  }
  if (TakesStandardOutput(roots.outputs)) console.StdoutTaken();
  return true;
}

}  // namespace vostrel::cli
