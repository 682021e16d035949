#include "cli/manifest.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>

#include "cli/iso.h"
#include "cli/report.h"
#include "cli/sha256.h"
#include "platform/native.h"

namespace vostrel::cli {

namespace {

namespace stdfs = std::filesystem;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Walks a kit through the native FileSystem, so names are seen as the
// engine and Windows see them.
class KitWalker {
 public:
  explicit KitWalker(KitListing& listing) : listing_(listing) {
    fs_ = platform::MakeNativeFileSystem([this](const std::string& folder, const std::string& name,
                                                const std::string&) { OddName(folder, name); });
  }

  void Walk(const std::string& folderPath, const std::string& folderRelative) {
    FolderId id;
    if (fs_->IdentifyFolder(folderPath, id)) inside_.push_back(id);
    currentRelative_ = folderRelative;
    FindData entry;
    std::unique_ptr<FolderEnumeration> listing = fs_->FindFirst(folderPath + "\\*.*", entry);
    if (!listing) {
      unsigned long code = fs_->LastError();
      if (code != win32_error::kFileNotFound && code != win32_error::kNoMoreFiles) {
        listing_.issues.push_back("cannot list " + Shown(folderRelative) + " (error " +
                                  std::to_string(code) + ")");
      }
      if (!inside_.empty()) inside_.pop_back();
      return;
    }
    // Entries first, then the sub-folders: the listing holds one open
    // enumeration only.
    std::vector<FindData> entries;
    do {
      if (entry.name != "." && entry.name != "..") entries.push_back(entry);
    } while (listing->Next(entry));
    unsigned long end = fs_->LastError();
    listing.reset();
    if (end != win32_error::kNoMoreFiles) {
      listing_.issues.push_back("the listing of " + Shown(folderRelative) + " ended early (error " +
                                std::to_string(end) + ")");
    }
    for (const FindData& found : entries) {
      KitEntry item;
      item.relative = folderRelative.empty() ? found.name : folderRelative + "/" + found.name;
      item.path = folderPath + "\\" + found.name;
      item.native = fs_->FullPath(item.path);
      item.isDirectory = found.IsDirectory();
      FileInfo info;
      if (fs_->GetInfo(item.path, info)) {
        item.readOnly = info.readOnly;
        item.size = info.size;
      }
      std::error_code error;
      item.regular = !item.isDirectory && stdfs::is_regular_file(item.native, error);
      listing_.entries.push_back(item);
      if (!item.isDirectory) continue;
      FolderId child;
      bool loop = (found.attributes & kFileAttributeReparsePoint) != 0 &&
                  fs_->IdentifyFolder(item.path, child) &&
                  std::find(inside_.begin(), inside_.end(), child) != inside_.end();
      if (loop) {
        listing_.issues.push_back("did not enter " + item.relative +
                                  ": a link back into a folder that holds it");
        continue;
      }
      Walk(item.path, item.relative);
    }
    if (!inside_.empty()) inside_.pop_back();
  }

 private:
  static std::string Shown(const std::string& relative) {
    return relative.empty() ? std::string("the kit's root folder") : relative;
  }

  // A name the FileSystem will not hand over: listed from the disk itself.
  void OddName(const std::string& folder, const std::string& name) {
    KitEntry item;
    item.relative = currentRelative_.empty() ? name : currentRelative_ + "/" + name;
    item.native = (stdfs::path(folder) / name).string();
    item.windowsName = false;
    std::error_code error;
    stdfs::file_status status = stdfs::status(item.native, error);
    item.isDirectory = stdfs::is_directory(status);
    item.regular = stdfs::is_regular_file(status);
    item.readOnly = (status.permissions() & stdfs::perms::owner_write) == stdfs::perms::none;
    if (item.regular) item.size = stdfs::file_size(item.native, error);
    listing_.entries.push_back(item);
  }

  KitListing& listing_;
  std::unique_ptr<FileSystem> fs_;
  std::vector<FolderId> inside_;
  std::string currentRelative_;
};

// sha256sum's form of a name: a name holding '\' or a line break is
// escaped, and its line starts with '\'.
std::string ManifestLine(const std::string& digest, const std::string& name) {
  std::string escaped;
  bool needsEscape = false;
  for (char c : name) {
    if (c == '\\') {
      escaped += "\\\\";
      needsEscape = true;
    } else if (c == '\n') {
      escaped += "\\n";
      needsEscape = true;
    } else {
      escaped += c;
    }
  }
  return (needsEscape ? "\\" : "") + digest + "  " + escaped + "\n";
}

// Whether `inner` is `outer` or lies below it, both absolute and resolved.
bool IsWithin(const std::string& inner, const std::string& outer) {
  const bool foldCase = platform::PreferredSeparator() == '\\';
  std::string a = inner, b = outer;
  while (b.size() > 1 && IsSeparator(b.back())) b.pop_back();
  if (a.size() < b.size()) return false;
  for (std::size_t i = 0; i < b.size(); ++i) {
    char x = a[i], y = b[i];
    if (IsSeparator(x) && IsSeparator(y)) continue;
    if (foldCase) {
      x = UpperAscii(x);
      y = UpperAscii(y);
    }
    if (x != y) return false;
  }
  return a.size() == b.size() || IsSeparator(a[b.size()]) || IsSeparator(b.back());
}

std::optional<std::string> CheckOutputPlace(FileSystem& fs, const std::string& file,
                                            const std::string& what, const std::string& destRoot) {
  std::string absolute = platform::AbsolutePath(file);
  if (absolute.empty()) return "cannot resolve the " + what + " path: " + file;
  std::error_code error;
  if (stdfs::is_directory(absolute, error)) return "the " + what + " path is a folder: " + file;
  stdfs::path folder = stdfs::path(absolute).parent_path();
  if (!stdfs::is_directory(folder, error)) {
    return "the " + what + "'s folder does not exist: " + folder.string();
  }
  std::string kit = fs.FullPath(destRoot);
  std::string place = fs.FullPath(folder.string());
  if (!kit.empty() && !place.empty() && IsWithin(place, kit)) {
    return "the " + what + " must not be written inside the kit " + destRoot +
           ": it would become part of the kit";
  }
  return std::nullopt;
}

}  // namespace

KitListing ListKit(const std::string& root) {
  KitListing listing;
  KitWalker walker(listing);
  walker.Walk(root, "");
  return listing;
}

bool ManifestText(const KitListing& listing, const std::map<std::string, std::string>& known,
                  std::string& text, std::string& error) {
  std::vector<const KitEntry*> files;
  for (const KitEntry& entry : listing.entries) {
    if (entry.regular) files.push_back(&entry);
  }
  std::sort(files.begin(), files.end(),
            [](const KitEntry* a, const KitEntry* b) { return a->relative < b->relative; });
  text.clear();
  for (const KitEntry* file : files) {
    std::string digest;
    auto found = known.find(file->relative);
    if (found != known.end()) {
      digest = found->second;
    } else if (!Sha256OfFile(file->native, digest, error)) {
      error = "cannot read " + file->relative + ": " + error;
      return false;
    }
    text += ManifestLine(digest, file->relative);
  }
  return true;
}

std::optional<std::string> CheckKitOutputs(const Options& options, const std::string& destRoot) {
  std::unique_ptr<FileSystem> fs = platform::MakeNativeFileSystem();
  if (!options.manifestFile.empty()) {
    if (auto problem = CheckOutputPlace(*fs, options.manifestFile, "manifest", destRoot)) {
      return problem;
    }
  }
  if (!options.isoFile.empty()) {
    if (auto problem = CheckOutputPlace(*fs, options.isoFile, "image", destRoot)) return problem;
  }
  return std::nullopt;
}

void WriteKitOutputs(const Options& options, const std::string& destRoot,
                     const std::map<std::string, std::string>& known, OutputMessages& messages) {
  if (options.manifestFile.empty() && options.isoFile.empty()) return;
  KitListing listing = ListKit(destRoot);
  for (const std::string& issue : listing.issues) messages.warnings.push_back(issue);

  if (!options.manifestFile.empty()) {
    std::string text, error;
    if (!ManifestText(listing, known, text, error) ||
        !WriteWholeFile(options.manifestFile, text, error)) {
      messages.failures.push_back("the manifest " + options.manifestFile +
                                  " was not written: " + error);
    } else {
      std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
      messages.notes.push_back("manifest " + options.manifestFile + ": " + std::to_string(lines) +
                               " files");
    }
  }

  if (!options.isoFile.empty()) {
    IsoResult result;
    std::string error;
    bool ok = WriteIsoImage(listing, options.isoFile, options.volumeId, result, error);
    for (const std::string& warning : result.warnings) messages.warnings.push_back(warning);
    if (!ok) {
      messages.failures.push_back("the image " + options.isoFile + " was not written: " + error);
    } else {
      messages.notes.push_back("image " + options.isoFile + " (volume " + options.volumeId +
                               "): " + std::to_string(result.files) + " files, " +
                               std::to_string(result.bytes) + " bytes");
    }
  }
}

}  // namespace vostrel::cli
