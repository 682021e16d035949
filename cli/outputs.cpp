#include "cli/outputs.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "cli/iso.h"
#include "cli/kit_listing.h"
#include "cli/manifest.h"
#include "engine/windows_path.h"
#include "platform/native.h"
#include "platform/whole_file.h"

namespace vostrel::cli {

namespace {

namespace stdfs = std::filesystem;

void WriteManifest(const Options& options, const KitListing& listing,
                   const std::map<std::string, std::string>& known, OutputMessages& messages) {
  std::string text, error;
  if (!ManifestText(listing, known, text, error) ||
      !platform::WriteWholeFile(options.manifestFile, text, error)) {
    messages.failures.push_back("the manifest " + options.manifestFile +
                                " was not written: " + error);
    return;
  }
  std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  messages.notes.push_back("manifest " + options.manifestFile + ": " + std::to_string(lines) +
                           " files");
}

void WriteImage(const Options& options, const KitListing& listing, OutputMessages& messages) {
  IsoResult result;
  std::string error;
  bool ok = WriteIsoImage(listing, options.isoFile, options.volumeId, result, error);
  for (const std::string& warning : result.warnings) messages.warnings.push_back(warning);
  if (!ok) {
    messages.failures.push_back("the image " + options.isoFile + " was not written: " + error);
    return;
  }
  messages.notes.push_back("image " + options.isoFile + " (volume " + options.volumeId +
                           "): " + std::to_string(result.files) + " files, " +
                           std::to_string(result.bytes) + " bytes");
}

}  // namespace

std::optional<std::string> CheckOutputPlace(const std::string& file, const std::string& what,
                                            const std::string& kitRoot) {
  const bool besideKit = !kitRoot.empty();
  const std::string place = besideKit ? platform::AbsolutePath(file) : file;
  if (place.empty()) return "cannot resolve the " + what + " path: " + file;
  std::error_code error;
  if (stdfs::is_directory(place, error)) return "the " + what + " path is a folder: " + file;
  const stdfs::path folder = stdfs::path(place).parent_path();
  if (folder.empty()) return std::nullopt;
  if (!stdfs::is_directory(folder, error)) {
    return "the " + what + "'s folder does not exist: " + folder.string();
  }
  if (!besideKit) return std::nullopt;
  std::unique_ptr<FileSystem> fs = platform::MakeNativeFileSystem();
  const std::string kit = fs->FullPath(kitRoot);
  const std::string within = fs->FullPath(folder.string());
  if (!kit.empty() && !within.empty() &&
      winpath::IsWithin(within, kit, platform::PreferredSeparator() == '\\')) {
    return "the " + what + " must not be written inside the kit " + kitRoot +
           ": it would become part of the kit";
  }
  return std::nullopt;
}

std::optional<std::string> CheckKitOutputs(const Options& options, const std::string& destRoot) {
  if (!options.manifestFile.empty()) {
    if (auto problem = CheckOutputPlace(options.manifestFile, "manifest", destRoot)) {
      return problem;
    }
  }
  if (!options.isoFile.empty()) return CheckOutputPlace(options.isoFile, "image", destRoot);
  return std::nullopt;
}

void WriteKitOutputs(const Options& options, const std::string& destRoot,
                     const std::map<std::string, std::string>& known, OutputMessages& messages) {
  if (options.manifestFile.empty() && options.isoFile.empty()) return;
  KitListing listing = ListKit(destRoot);
  for (const std::string& issue : listing.issues) messages.warnings.push_back(issue);
  if (!options.manifestFile.empty()) WriteManifest(options, listing, known, messages);
  if (!options.isoFile.empty()) WriteImage(options, listing, messages);
}

}  // namespace vostrel::cli
