#include "cli/outputs.h"

#include <algorithm>
#include <tuple>

#include "cli/interruption.h"
#include "cli/iso.h"
#include "cli/kit_listing.h"
#include "cli/manifest.h"
#include "engine/name_key.h"
#include "engine/windows_path.h"

namespace vostrel::cli {

namespace {

using Kind = platform::OutputTarget::Kind;

void WriteManifest(const Options& options, const OutputPlaces& places, const KitListing& listing,
                   const std::map<std::string, std::string>& known, OutputMessages& messages) {
  std::string text, error;
  if (!ManifestText(listing, known, text, error) ||
      !platform::WriteOutput(places.manifest, text, error)) {
    messages.failures.push_back("the manifest " + options.manifestFile +
                                " was not written: " + error);
    return;
  }
  std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  messages.notes.push_back("manifest " + options.manifestFile + ": " + std::to_string(lines) +
                           " files");
}

void WriteImage(const Options& options, const OutputPlaces& places, const KitListing& listing,
                const ImageProgress& progress, OutputMessages& messages) {
  IsoResult result;
  std::string error;
  std::optional<int64_t> epoch;
  bool ok = ImageEpoch(epoch, error) &&
            WriteIsoImage(listing, places.image, options.volumeId, epoch, progress, result, error);
  for (const std::string& warning : result.warnings) messages.warnings.push_back(warning);
  if (!ok) {
    messages.failures.push_back("the image " + options.isoFile + " was not written: " + error);
    return;
  }
  messages.notes.push_back("image " + options.isoFile + " (volume " + options.volumeId +
                           "): " + std::to_string(result.files) + " files, " +
                           std::to_string(result.bytes) + " bytes, sha256 " + result.sha256);
  messages.image =
      WrittenImage{options.isoFile, options.volumeId, result.files, result.bytes, result.sha256};
}

// Whether two places name one item: the same existing file or stream, or
// the same new name in one folder (its case counts where the disk's does).
bool SameItem(const platform::OutputTarget& a, const platform::OutputTarget& b) {
  if (a.identities.empty() || b.identities.empty()) {
    // The platform tells no identities: the spelling decides.
    return !a.place.empty() && winpath::PathKey(a.place) == winpath::PathKey(b.place);
  }
  if (a.exists || b.exists) return a.exists && b.exists && a.identities[0] == b.identities[0];
  return a.identities[0] == b.identities[0] &&
         (a.caseless ? names::SameName(a.name, b.name) : a.name == b.name);
}

// Whether the output lies in or is the root (the medium's folder or image,
// the kit's folder), by what each is on disk, whatever names reach them.
bool Within(const platform::OutputTarget& output, const platform::OutputTarget& root,
            const std::string& spelled) {
  if (root.identities.empty()) {
    return !output.place.empty() && winpath::IsWithin(output.place, spelled);
  }
  // A kit not made yet can only be the output's own new name.
  if (!root.exists) return SameItem(output, root);
  return std::find(output.identities.begin(), output.identities.end(), root.identities[0]) !=
         output.identities.end();
}

// The medium and the kit as the outputs are judged against them.
struct JudgedRoots {
  std::string medium, kit;
  platform::OutputTarget mediumPlace, kitPlace;
};

// Why the output `file` (called `what`) cannot go where it is, or nothing.
std::optional<std::string> Judge(const std::string& file, const std::string& what,
                                 const JudgedRoots& roots, platform::OutputTarget& target) {
  target = platform::LocateOutput(file);
  const std::string the = "the " + what;
  switch (target.kind) {
    case Kind::kFile:
    case Kind::kStream:
      break;
    case Kind::kFolder:
      return the + " path is a folder: " + file;
    case Kind::kBlockDevice:
      return the + " path is a block device: " + file;
    case Kind::kSocket:
      return the + " path is a socket: " + file;
    case Kind::kNoFolder:
      return the + "'s folder does not exist: " + target.path;
    case Kind::kFolderReadOnly:
      return the + "'s folder cannot be written: " + target.path;
  }
  if (!roots.medium.empty() && Within(target, roots.mediumPlace, roots.medium)) {
    return the + " must not be written inside the medium " + roots.medium + ": " + file;
  }
  if (!roots.kit.empty() && Within(target, roots.kitPlace, roots.kit)) {
    return the + " must not be written inside the kit " + roots.kit +
           ": it would become part of the kit";
  }
  return std::nullopt;
}

// The entries no output may hold, each said once as a failure.
void LeaveOutOddEntries(const Options& options, const KitListing& listing,
                        OutputMessages& messages) {
  const std::string outputs = options.manifestFile.empty() ? "the image"
                              : options.isoFile.empty()    ? "the manifest"
                                                           : "the manifest and the image";
  for (const KitEntry& entry : listing.entries) {
    if (const char* kind = OddKind(entry)) {
      messages.failures.push_back("left out of " + outputs + ": " + entry.relative + " (" + kind +
                                  ")");
    }
  }
}

}  // namespace

std::optional<std::string> CheckOutputs(const Options& options, FileSystem& disk,
                                        const std::string& mediumRoot, const std::string& kitRoot,
                                        OutputPlaces& places) {
  JudgedRoots roots;
  roots.medium = disk.FullPath(mediumRoot);
  roots.kit = disk.FullPath(kitRoot);
  if (!roots.medium.empty()) roots.mediumPlace = platform::LocateOutput(roots.medium);
  if (!roots.kit.empty()) roots.kitPlace = platform::LocateOutput(roots.kit);
  const std::tuple<const std::string&, const char*, platform::OutputTarget&> outputs[] = {
      {options.reportFile, "report", places.report},
      {options.manifestFile, "manifest", places.manifest},
      {options.isoFile, "image", places.image}};
  std::vector<const platform::OutputTarget*> taken;
  for (const auto& [file, what, target] : outputs) {
    if (file.empty()) continue;
    if (auto problem = Judge(file, what, roots, target)) return problem;
    // Two names for one file or stream: a link, another spelling, a hard
    // link, standard output by another name.
    for (const platform::OutputTarget* other : taken) {
      if (SameItem(*other, target)) return "one file cannot take two outputs: " + file;
    }
    taken.push_back(&target);
  }
  return std::nullopt;
}

bool TakesStandardOutput(const OutputPlaces& places) {
  const platform::OutputTarget out = platform::LocateOutput("-");
  for (const platform::OutputTarget* target : {&places.report, &places.manifest}) {
    if (target->path == "-" || (!target->path.empty() && SameItem(*target, out))) return true;
  }
  return false;
}

void WriteKitOutputs(platform::NativeFileSystem& disk, const Options& options,
                     const OutputPlaces& places, const std::string& destRoot,
                     const std::map<std::string, std::string>& known, OutputMessages& messages,
                     const ImageProgress& progress) {
  if (options.manifestFile.empty() && options.isoFile.empty()) return;
  if (Interruption() != 0) return;
  KitListing listing = ListKit(disk, destRoot);
  for (const std::string& issue : listing.issues) messages.warnings.push_back(issue);
  LeaveOutOddEntries(options, listing, messages);
  if (!options.manifestFile.empty()) WriteManifest(options, places, listing, known, messages);
  if (!options.isoFile.empty() && Interruption() == 0) {
    WriteImage(options, places, listing, progress, messages);
  }
}

}  // namespace vostrel::cli
