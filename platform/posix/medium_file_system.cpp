#include "platform/posix/medium_file_system.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/windows_path.h"
#include "platform/posix/name_resolver.h"

namespace vostrel::posix {

namespace {

namespace code = win32_error;

// Folder identities in an image: a volume no disk's device number reaches.
constexpr uint64_t kImageVolume = uint64_t{1} << 63;

// A missing item: ERROR_FILE_NOT_FOUND when its folder is there, else
// ERROR_PATH_NOT_FOUND, as for a folder on disk; below a folder that could
// not be read, ERROR_IO_DEVICE.
unsigned long MissingCode(const MediumImage::Walk& walk) {
  if (!walk.last->unreadable.empty()) return code::kIoDevice;
  const bool folderThere = walk.found + 1 == walk.names.size() && walk.last->isDirectory;
  return folderThere ? code::kFileNotFound : code::kPathNotFound;
}

}  // namespace

std::unique_ptr<OpenImage> OpenImageAt(const std::string& root, std::string& error) {
  struct stat status;
  if (stat(root.c_str(), &status) != 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  auto open = std::make_unique<OpenImage>();
  open->image = MediumImage::Open(root, error);
  if (!open->image) return nullptr;
  // Each image its own serial, so the folder identities of two never meet.
  static uint64_t serials = 0;
  open->root = root;
  const std::string real = RealPath(root);
  open->native = real.empty() ? root : real;
  open->serial = ++serials;
  return open;
}

bool MediumFileSystem::ReadMediumFile(const std::string& path, const platform::ChunkSink& take,
                                      std::string& error) {
  std::string relative;
  const OpenImage* open = ImageOf(path, relative);
  if (open == nullptr) return platform::ReadWholeFile(disk_.FullPath(path), take, error);
  const MediumImage::Walk walk = open->image->Resolve(relative);
  if (!walk.Complete() || walk.last->isDirectory) {
    error = walk.Complete() ? "it is a folder" : "no such file in the image";
    return false;
  }
  std::unique_ptr<ContentStream> stream = open->image->OpenContent(*walk.last, error);
  if (!stream) return false;
  return platform::ReadChunks(
      [&stream](char* buffer, size_t size, std::string& failure) {
        const long got = stream->Read(buffer, size);
        if (got < 0) failure = std::strerror(errno);
        return got;
      },
      take, error);
}

// The disk's enumerations tell of what they leave out to whoever listens now.
MediumFileSystem::MediumFileSystem(std::unique_ptr<OpenImage> image)
    : disk_([this](const std::string& folder, const std::string& name, const std::string& reason,
                   platform::SkipKind kind) {
        if (onSkip_) onSkip_(folder, name, reason, kind);
      }) {
  if (image) images_.push_back(std::move(image));
}

platform::SkipListener MediumFileSystem::SetSkipListener(platform::SkipListener onSkip) {
  std::swap(onSkip, onSkip_);
  return onSkip;
}

const OpenImage* MediumFileSystem::ImageOf(const std::string& path, std::string& relative) const {
  for (const std::unique_ptr<OpenImage>& image : images_) {
    if (winpath::RelativeTo(image->root, path, relative)) return image.get();
  }
  return nullptr;
}

bool MediumFileSystem::FromImage(unsigned long win32Code) {
  lastError_ = win32Code;
  imageAnswered_ = true;
  return false;
}

bool MediumFileSystem::FromDisk(bool result) {
  imageAnswered_ = false;
  return result;
}

unsigned long MediumFileSystem::LastError() const {
  return imageAnswered_ ? lastError_ : disk_.LastError();
}

const ImageItem* MediumFileSystem::Find(const OpenImage& open, const std::string& relative) {
  const MediumImage::Walk walk = open.image->Resolve(relative);
  if (walk.Complete()) return walk.last;
  FromImage(MissingCode(walk));
  return nullptr;
}

// A disc is write-protected: nothing in an image changes.
bool MediumFileSystem::WriteProtected(const std::string& path) {
  std::string relative;
  return ImageOf(path, relative) != nullptr && !FromImage(code::kAccessDenied);
}

bool MediumFileSystem::CreateFolder(const std::string& path) {
  return !WriteProtected(path) && FromDisk(disk_.CreateFolder(path));
}

bool MediumFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  return !WriteProtected(path) && FromDisk(disk_.SetAttributes(path, attributes));
}

bool MediumFileSystem::WriteProfileEntry(const std::string& section, const std::string& key,
                                         const std::string& value, const std::string& path) {
  return !WriteProtected(path) && FromDisk(disk_.WriteProfileEntry(section, key, value, path));
}

bool MediumFileSystem::RemoveFile(const std::string& path) {
  return !WriteProtected(path) && FromDisk(disk_.RemoveFile(path));
}

bool MediumFileSystem::CopyOneFile(const std::string& existing, const std::string& target,
                                   bool failIfExists) {
  if (WriteProtected(target)) return false;
  std::string relative;
  const OpenImage* open = ImageOf(existing, relative);
  if (open == nullptr) return FromDisk(disk_.CopyOneFile(existing, target, failIfExists));
  const ImageItem* file = Find(*open, relative);
  if (file == nullptr) return false;
  if (file->isDirectory) return FromImage(code::kAccessDenied);
  std::unique_ptr<ContentStream> stream;
  const StreamedFile streamed = open->image->Streamed(*file, stream);
  return FromDisk(disk_.CopyFromStream(streamed, target, failIfExists));
}

std::unique_ptr<FolderEnumeration> MediumFileSystem::FindFirst(const std::string& pattern,
                                                               FindData& first) {
  std::string relative;
  if (const OpenImage* open = ImageOf(pattern, relative)) {
    return FindInImage(*open, relative, pattern, first);
  }
  std::unique_ptr<FolderEnumeration> listed = disk_.FindFirst(pattern, first);
  FromDisk(true);
  if (!listed) return nullptr;
  return PosixFileSystem::Marking(std::move(listed), imageAnswered_, false);
}

std::unique_ptr<FolderEnumeration> MediumFileSystem::FindInImage(const OpenImage& open,
                                                                 const std::string& relative,
                                                                 const std::string& pattern,
                                                                 FindData& first) {
  if (relative.empty() || winpath::IsSeparator(pattern.back())) {
    FromImage(code::kFileNotFound);  // no name pattern after the folder
    return nullptr;
  }
  const MediumImage::Walk walk = open.image->Resolve(winpath::ParentOf(relative, false));
  const ImageItem& folder = *walk.last;
  if (!folder.unreadable.empty()) {
    if (onSkip_) {
      onSkip_(open.native + winpath::ParentOf(walk.spelled, false), folder.name, folder.unreadable,
              platform::SkipKind::kEntry);
    }
    FromImage(code::kIoDevice);
    return nullptr;
  }
  if (!walk.Complete() || !folder.isDirectory) {
    FromImage(code::kPathNotFound);
    return nullptr;
  }
  for (const SkippedEntry& entry : folder.skipped) {
    if (onSkip_) onSkip_(open.native + walk.spelled, entry.name, entry.reason, entry.kind);
  }
  std::vector<FolderEntry> listing;
  std::vector<uint32_t> attributes;
  for (uint32_t index : folder.children) {
    const ImageItem& item = open.image->At(index);
    listing.push_back(FolderEntry{item.key, item.name});
    attributes.push_back(item.isDirectory ? kFileAttributeDirectory : kFileAttributeReadOnly);
  }
  // The image's root stands for a drive's root, which lists no "." or "..".
  std::vector<FindData> entries = PosixFileSystem::Matching(
      winpath::LastName(relative, false), &folder != &open.image->Root(), listing, attributes);
  if (entries.empty()) {
    FromImage(code::kFileNotFound);
    return nullptr;
  }
  first = entries.front();
  imageAnswered_ = true;
  return PosixFileSystem::Marking(PosixFileSystem::Enumerate(lastError_, std::move(entries)),
                                  imageAnswered_, true);
}

std::string MediumFileSystem::FullPath(const std::string& path) {
  std::string relative;
  const OpenImage* open = ImageOf(path, relative);
  if (open == nullptr) return disk_.FullPath(path);
  const MediumImage::Walk walk = open->image->Resolve(relative);
  std::string full = open->native + walk.spelled;
  for (std::size_t i = walk.found; i < walk.names.size(); ++i) full += "/" + walk.names[i];
  return full;
}

bool MediumFileSystem::IdentifyFolder(const std::string& path, FolderId& id) {
  std::string relative;
  const OpenImage* open = ImageOf(path, relative);
  if (open == nullptr) return FromDisk(disk_.IdentifyFolder(path, id));
  const ImageItem* item = Find(*open, relative);
  if (item == nullptr) return false;
  if (!item->isDirectory) return FromImage(code::kDirectory);
  id.volume = kImageVolume | open->serial;
  id.index = open->image->IndexOf(*item);
  imageAnswered_ = true;
  return true;
}

bool MediumFileSystem::GetInfo(const std::string& path, FileInfo& info) {
  std::string relative;
  const OpenImage* open = ImageOf(path, relative);
  if (open == nullptr) return FromDisk(disk_.GetInfo(path, info));
  const ImageItem* item = Find(*open, relative);
  if (item == nullptr) return false;
  info.isDirectory = item->isDirectory;
  info.readOnly = !item->isDirectory;  // as Windows marks every file on a CD
  info.size = item->size;
  imageAnswered_ = true;
  return true;
}

}  // namespace vostrel::posix
