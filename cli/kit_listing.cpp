#include "cli/kit_listing.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "cli/sha256.h"
#include "engine/file_system.h"
#include "engine/windows_path.h"
#include "platform/native.h"

namespace vostrel::cli {

namespace {

namespace stdfs = std::filesystem;

// What the entry at item.native is, links not followed; `marked`: the
// listing already called it a link.
void Classify(KitEntry& item, bool marked) {
  std::error_code error;
  const stdfs::file_status status = stdfs::symlink_status(stdfs::u8path(item.native), error);
  item.link = marked || stdfs::is_symlink(status);
  item.isDirectory = !item.link && stdfs::is_directory(status);
  item.regular = !item.link && stdfs::is_regular_file(status);
}

// Walks a kit through the native FileSystem, so names are seen as the
// engine and Windows see them.
class KitWalker {
 public:
  // The names `disk` leaves out are listed from the disk itself.
  KitWalker(platform::NativeFileSystem& disk, KitListing& listing)
      : listing_(listing),
        fs_(disk),
        oddNames_(disk, [this](const std::string& folder, const std::string& name,
                               const std::string& reason,
                               platform::SkipKind) { OddName(folder, name, reason); }) {}

  void Walk(const std::string& folderPath, const std::string& folderRelative) {
    FolderId id;
    const bool known = fs_.IdentifyFolder(folderPath, id);
    if (known && std::find(inside_.begin(), inside_.end(), id) != inside_.end()) {
      // Without links only a mount can lead back into a folder being listed.
      listing_.issues.push_back("did not enter " + folderRelative +
                                ": it leads back into a folder that holds it");
      return;
    }
    if (known) inside_.push_back(id);
    currentRelative_ = folderRelative;
    const std::string folderNative = fs_.FullPath(folderPath);
    std::vector<FindData> entries;
    if (Read(folderPath, folderRelative, entries)) {
      for (const FindData& found : entries) Take(folderPath, folderNative, folderRelative, found);
    }
    if (known) inside_.pop_back();
  }

 private:
  static std::string Shown(const std::string& relative) {
    return relative.empty() ? std::string("the kit's root folder") : relative;
  }

  // A folder's entries, read whole before any sub-folder is entered: the
  // listing holds one open enumeration only.
  bool Read(const std::string& folderPath, const std::string& folderRelative,
            std::vector<FindData>& entries) {
    FindData entry;
    std::unique_ptr<FolderEnumeration> listing = fs_.FindFirst(folderPath + "\\*.*", entry);
    if (!listing) {
      unsigned long code = fs_.LastError();
      if (code != win32_error::kFileNotFound && code != win32_error::kNoMoreFiles) {
        listing_.issues.push_back("cannot list " + Shown(folderRelative) + " (error " +
                                  std::to_string(code) + ")");
      }
      return false;
    }
    do {
      if (entry.name != "." && entry.name != "..") entries.push_back(entry);
    } while (listing->Next(entry));
    unsigned long end = fs_.LastError();
    listing.reset();
    if (end != win32_error::kNoMoreFiles) {
      listing_.issues.push_back("the listing of " + Shown(folderRelative) + " ended early (error " +
                                std::to_string(end) + ")");
    }
    return true;
  }

  // Lists one entry, and walks into it when it is a folder.
  void Take(const std::string& folderPath, const std::string& folderNative,
            const std::string& folderRelative, const FindData& found) {
    KitEntry item;
    item.relative = winpath::JoinRelative(folderRelative, found.name);
    item.path = winpath::Join(folderPath, found.name);
    item.native = folderNative + platform::PreferredSeparator() + found.name;
    if (listing_.disc != nullptr) {
      item.isDirectory = found.IsDirectory();
      item.regular = !item.isDirectory;
    } else {
      Classify(item, (found.attributes & kFileAttributeReparsePoint) != 0);
    }
    FileInfo info;
    if (!item.link && fs_.GetInfo(item.path, info)) {
      item.readOnly = info.readOnly;
      item.size = info.size;
    }
    listing_.entries.push_back(item);
    if (item.isDirectory) Walk(item.path, item.relative);
  }

  // A name the FileSystem will not hand over: listed from the disk itself.
  void OddName(const std::string& folder, const std::string& name, const std::string& reason) {
    if (listing_.disc != nullptr) {
      // What the image holds but Windows does not show, or cannot read.
      listing_.issues.push_back("in " + Shown(currentRelative_) + ": " +
                                (name.empty() ? reason : name + " (" + reason + ")"));
      return;
    }
    KitEntry item;
    item.relative = winpath::JoinRelative(currentRelative_, name);
    item.native = (stdfs::u8path(folder) / stdfs::u8path(name)).u8string();
    item.windowsName = false;
    Classify(item, false);
    std::error_code error;
    const stdfs::path native = stdfs::u8path(item.native);
    const stdfs::file_status status = stdfs::symlink_status(native, error);
    item.readOnly = (status.permissions() & stdfs::perms::owner_write) == stdfs::perms::none;
    if (item.regular) item.size = stdfs::file_size(native, error);
    listing_.entries.push_back(item);
  }

  KitListing& listing_;
  platform::NativeFileSystem& fs_;
  const platform::SkipNoticesTo oddNames_;
  std::vector<FolderId> inside_;
  std::string currentRelative_;
};

}  // namespace

KitListing ListKit(platform::NativeFileSystem& disk, const std::string& root) {
  KitListing listing;
  // An image read in place is a folder to `disk` and a file on disk.
  std::error_code error;
  if (stdfs::is_regular_file(disk.FullPath(root), error)) listing.disc = &disk;
  KitWalker walker(disk, listing);
  walker.Walk(root, "");
  return listing;
}

bool ReadKitFile(const KitListing& listing, const KitEntry& entry, const platform::ChunkSink& take,
                 std::string& error) {
  if (listing.disc != nullptr) return listing.disc->ReadMediumFile(entry.path, take, error);
  return platform::ReadWholeFile(entry.native, take, error);
}

bool KitFileSha256(const KitListing& listing, const KitEntry& entry, std::string& digest,
                   std::string& error) {
  if (listing.disc != nullptr) return Sha256OfMediumFile(*listing.disc, entry.path, digest, error);
  return Sha256OfFile(entry.native, digest, error);
}

const char* OddKind(const KitEntry& entry) {
  if (entry.link) return "link";
  if (!entry.isDirectory && !entry.regular) return "not a regular file";
  return nullptr;
}

}  // namespace vostrel::cli
