#include "cli/kit_listing.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "engine/file_system.h"
#include "engine/windows_path.h"
#include "platform/native.h"

namespace vostrel::cli {

namespace {

namespace stdfs = std::filesystem;

std::string Below(const std::string& folderRelative, const std::string& name) {
  return folderRelative.empty() ? name : folderRelative + "/" + name;
}

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
    std::vector<FindData> entries;
    if (Read(folderPath, folderRelative, entries)) {
      for (const FindData& found : entries) Take(folderPath, folderRelative, found);
    }
    if (!inside_.empty()) inside_.pop_back();
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
    std::unique_ptr<FolderEnumeration> listing = fs_->FindFirst(folderPath + "\\*.*", entry);
    if (!listing) {
      unsigned long code = fs_->LastError();
      if (code != win32_error::kFileNotFound && code != win32_error::kNoMoreFiles) {
        listing_.issues.push_back("cannot list " + Shown(folderRelative) + " (error " +
                                  std::to_string(code) + ")");
      }
      return false;
    }
    do {
      if (entry.name != "." && entry.name != "..") entries.push_back(entry);
    } while (listing->Next(entry));
    unsigned long end = fs_->LastError();
    listing.reset();
    if (end != win32_error::kNoMoreFiles) {
      listing_.issues.push_back("the listing of " + Shown(folderRelative) + " ended early (error " +
                                std::to_string(end) + ")");
    }
    return true;
  }

  // Lists one entry, and walks into it when it is a folder that does not
  // lead back into one the walk is inside.
  void Take(const std::string& folderPath, const std::string& folderRelative,
            const FindData& found) {
    KitEntry item;
    item.relative = Below(folderRelative, found.name);
    item.path = winpath::Join(folderPath, found.name);
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
    if (!item.isDirectory) return;
    FolderId child;
    bool loop = (found.attributes & kFileAttributeReparsePoint) != 0 &&
                fs_->IdentifyFolder(item.path, child) &&
                std::find(inside_.begin(), inside_.end(), child) != inside_.end();
    if (loop) {
      listing_.issues.push_back("did not enter " + item.relative +
                                ": a link back into a folder that holds it");
      return;
    }
    Walk(item.path, item.relative);
  }

  // A name the FileSystem will not hand over: listed from the disk itself.
  void OddName(const std::string& folder, const std::string& name) {
    KitEntry item;
    item.relative = Below(currentRelative_, name);
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

}  // namespace

KitListing ListKit(const std::string& root) {
  KitListing listing;
  KitWalker walker(listing);
  walker.Walk(root, "");
  return listing;
}

}  // namespace vostrel::cli
