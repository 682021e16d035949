#include "engine/dry_run_file_system.h"

#include <utility>

#include "engine/name_key.h"
#include "engine/windows_path.h"

namespace vostrel {

namespace {

using winpath::IsSeparator;

// Keys are the name keys of normalized paths (winpath::PathKey): '/'
// separators, a root without its trailing one unless it is "/".
std::u16string Child(const std::u16string& folderKey, const std::string& name) {
  const std::u16string prefix = folderKey.back() == u'/' ? folderKey : folderKey + u'/';
  return prefix + names::FoldKey(name);
}

bool IsBelow(const std::u16string& key, const std::u16string& folderKey) {
  if (key.compare(0, folderKey.size(), folderKey) != 0) return false;
  return folderKey.back() == u'/' || key[folderKey.size()] == u'/';
}

// A volume's root ("/", "X:"), whose listing has no "." and "..".
bool IsVolumeRoot(const std::u16string& key) {
  return key == u"/" || (key.size() == 2 && key[1] == u':');
}

// The last name, trailing separators aside ("C:" for "C:\").
std::string LastComponent(const std::string& full) {
  std::size_t end = full.size();
  while (end > 1 && IsSeparator(full[end - 1])) --end;
  return winpath::LastName(full.substr(0, end));
}

FindData EntryOf(const std::string& name, bool isDirectory, bool readOnly) {
  FindData entry;
  entry.name = name;
  entry.attributes = isDirectory ? kFileAttributeDirectory
                                 : (readOnly ? kFileAttributeReadOnly : kFileAttributeNormal);
  return entry;
}

}  // namespace

// Yields a folder's entries collected when the enumeration started: the
// disk's, less what the run removed, plus what it made, in the disk's order.
class DryRunFileSystem::Enumeration : public FolderEnumeration {
 public:
  Enumeration(DryRunFileSystem& owner, std::vector<FindData> entries, unsigned long endCode)
      : owner_(owner), entries_(std::move(entries)), endCode_(endCode) {}

  bool Next(FindData& entry) override {
    if (next_ >= entries_.size()) return owner_.Fail(endCode_);
    entry = entries_[next_++];
    return true;
  }

 private:
  DryRunFileSystem& owner_;
  std::vector<FindData> entries_;
  std::size_t next_ = 1;  // the first entry went out with FindFirst
  unsigned long endCode_;
};

DryRunFileSystem::Resolved DryRunFileSystem::Resolve(const std::string& path) {
  // Below a folder pretended empty nothing on disk counts, a link there
  // included: the part below it is taken as written, not resolved.
  std::string below;
  if (!hiddenPath_.empty() && winpath::RelativeTo(hiddenPath_, path, below) && !below.empty()) {
    const std::string full = winpath::Join(hiddenFull_, winpath::WithSeparators(below, '\\'));
    return Resolved{full, winpath::PathKey(full)};
  }
  std::string full = inner_.FullPath(path);
  if (full.empty()) full = path;
  return Resolved{full, winpath::PathKey(full)};
}

DryRunFileSystem::Resolved DryRunFileSystem::Parent(const Resolved& item) {
  const std::string folder = winpath::FolderOf(item.full);
  if (folder.empty()) return Resolved{};
  return Resolved{folder, winpath::PathKey(folder)};
}

bool DryRunFileSystem::IsHidden(const std::u16string& key) const {
  return !hiddenKey_.empty() && key.size() > hiddenKey_.size() && IsBelow(key, hiddenKey_);
}

bool DryRunFileSystem::Lookup(const Resolved& item, FileInfo& info) {
  auto made = items_.find(item.key);
  if (made != items_.end()) {
    info.isDirectory = made->second.isDirectory;
    info.readOnly = made->second.readOnly;
    info.size = made->second.size;
    return true;
  }
  if (removed_.count(item.key) != 0 || IsHidden(item.key)) return false;
  if (!inner_.GetInfo(item.full, info)) return false;
  auto readOnly = readOnlyOverride_.find(item.key);
  if (readOnly != readOnlyOverride_.end()) info.readOnly = readOnly->second;
  return true;
}

unsigned long DryRunFileSystem::MissingCode(const Resolved& item) {
  Resolved folder = Parent(item);
  FileInfo info;
  bool folderExists = !folder.full.empty() && Lookup(folder, info) && info.isDirectory;
  return folderExists ? win32_error::kFileNotFound : win32_error::kPathNotFound;
}

bool DryRunFileSystem::Fail(unsigned long code) {
  lastError_ = code;
  return false;
}

void DryRunFileSystem::Changed(Operation change) {
  change.ok = true;
  change.code = win32_error::kSuccess;
  if (changeObserver_) changeObserver_(change);
}

void DryRunFileSystem::PretendEmptyFolder(const std::string& folder) {
  Resolved resolved = Resolve(folder);
  hiddenKey_ = resolved.key;
  hiddenPath_ = folder;
  hiddenFull_ = resolved.full;
  VirtualItem item;
  item.name = LastComponent(resolved.full);
  item.isDirectory = true;
  item.serial = nextSerial_++;
  items_[resolved.key] = item;
}

bool DryRunFileSystem::CreateFolder(const std::string& path) {
  Resolved folder = Resolve(path);
  FileInfo info;
  if (Lookup(folder, info)) return Fail(win32_error::kAlreadyExists);
  Resolved parent = Parent(folder);
  FileInfo parentInfo;
  if (parent.full.empty() || !Lookup(parent, parentInfo) || !parentInfo.isDirectory) {
    return Fail(win32_error::kPathNotFound);
  }
  VirtualItem item;
  item.name = LastComponent(folder.full);
  item.isDirectory = true;
  item.serial = nextSerial_++;
  items_[folder.key] = item;
  Operation change{};
  change.kind = OperationKind::kCreateFolder;
  change.path = path;
  Changed(std::move(change));
  return true;
}

bool DryRunFileSystem::CopyOneFile(const std::string& existing, const std::string& target,
                                   bool failIfExists) {
  Resolved source = Resolve(existing);
  FileInfo sourceInfo;
  if (!Lookup(source, sourceInfo)) return Fail(MissingCode(source));
  if (sourceInfo.isDirectory) return Fail(win32_error::kAccessDenied);

  Resolved copy = Resolve(target);
  Resolved folder = Parent(copy);
  FileInfo folderInfo;
  if (folder.full.empty() || !Lookup(folder, folderInfo) || !folderInfo.isDirectory) {
    return Fail(win32_error::kPathNotFound);
  }
  FileInfo targetInfo;
  if (Lookup(copy, targetInfo)) {
    if (failIfExists) return Fail(win32_error::kFileExists);
    if (targetInfo.isDirectory || targetInfo.readOnly) return Fail(win32_error::kAccessDenied);
  }

  VirtualItem item;
  item.name = LastComponent(copy.full);
  item.readOnly = sourceInfo.readOnly;
  item.size = sourceInfo.size;
  items_[copy.key] = item;
  readOnlyOverride_.erase(copy.key);
  lastCopySize_ = sourceInfo.size;

  Operation change{};
  change.kind = OperationKind::kCopyFile;
  change.path = existing;
  change.target = target;
  change.bytes = sourceInfo.size;
  Changed(std::move(change));
  return true;
}

std::unique_ptr<FolderEnumeration> DryRunFileSystem::FindFirst(const std::string& pattern,
                                                               FindData& first) {
  std::string folderPath = winpath::ParentOf(pattern);
  if (folderPath.empty()) {
    folderPath = !pattern.empty() && IsSeparator(pattern[0]) ? pattern.substr(0, 1) : ".";
  }
  Resolved folder = Resolve(folderPath);

  std::vector<FindData> entries;
  unsigned long endCode = win32_error::kNoMoreFiles;
  unsigned long startCode = win32_error::kFileNotFound;
  const bool listedDisk =
      items_.count(folder.key) == 0 && !IsHidden(folder.key) && removed_.count(folder.key) == 0;
  if (listedDisk) {
    FindData entry;
    std::unique_ptr<FolderEnumeration> disk = inner_.FindFirst(pattern, entry);
    if (disk) {
      do {
        const std::u16string key = Child(folder.key, entry.name);
        if (removed_.count(key) != 0 || items_.count(key) != 0) continue;
        auto readOnly = readOnlyOverride_.find(key);
        if (readOnly != readOnlyOverride_.end()) {
          entry.attributes &= ~kFileAttributeReadOnly;
          if (readOnly->second) entry.attributes |= kFileAttributeReadOnly;
        }
        entries.push_back(entry);
      } while (disk->Next(entry));
      endCode = inner_.LastError();
    } else {
      startCode = inner_.LastError();
    }
  }

  // What the run made in this folder, placed where the disk's order (names
  // compared by their keys) would put it.
  const std::u16string prefix = Child(folder.key, "");
  for (auto it = items_.lower_bound(prefix);
       it != items_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.find(u'/', prefix.size()) != std::u16string::npos) continue;
    const VirtualItem& item = it->second;
    const std::u16string key = names::FoldKey(item.name);
    auto position = entries.begin();
    while (position != entries.end() && names::FoldKey(position->name) <= key) ++position;
    entries.insert(position, EntryOf(item.name, item.isDirectory, item.readOnly));
  }

  // A folder only the run made lists "." and ".." first, as every folder
  // but a volume's root does.
  auto made = items_.find(folder.key);
  if (made != items_.end() && made->second.isDirectory && !IsVolumeRoot(folder.key)) {
    entries.insert(entries.begin(), {EntryOf(".", true, false), EntryOf("..", true, false)});
  }
  if (entries.empty()) {
    Fail(startCode);
    return nullptr;
  }
  first = entries.front();
  return std::make_unique<Enumeration>(*this, std::move(entries), endCode);
}

bool DryRunFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  Resolved file = Resolve(path);
  FileInfo info;
  if (!Lookup(file, info)) return Fail(MissingCode(file));
  bool readOnly = (attributes & kFileAttributeReadOnly) != 0;
  if (info.isDirectory || info.readOnly == readOnly) return true;
  auto made = items_.find(file.key);
  if (made != items_.end()) {
    made->second.readOnly = readOnly;
  } else {
    readOnlyOverride_[file.key] = readOnly;
  }
  Operation change{};
  change.kind = OperationKind::kSetAttributes;
  change.path = path;
  change.attributes = attributes;
  Changed(std::move(change));
  return true;
}

bool DryRunFileSystem::WriteProfileEntry(const std::string& section, const std::string& key,
                                         const std::string& value, const std::string& path) {
  Resolved file = Resolve(path);
  FileInfo info;
  if (Lookup(file, info)) {
    if (info.isDirectory || info.readOnly) return Fail(win32_error::kAccessDenied);
  } else {
    Resolved folder = Parent(file);
    FileInfo folderInfo;
    if (folder.full.empty() || !Lookup(folder, folderInfo) || !folderInfo.isDirectory) {
      return Fail(win32_error::kPathNotFound);
    }
    VirtualItem item;
    item.name = LastComponent(file.full);
    items_[file.key] = item;
  }
  Operation change{};
  change.kind = OperationKind::kWriteProfile;
  change.path = path;
  change.section = section;
  change.key = key;
  change.value = value;
  Changed(std::move(change));
  return true;
}

bool DryRunFileSystem::RemoveFile(const std::string& path) {
  Resolved file = Resolve(path);
  FileInfo info;
  if (!Lookup(file, info)) return Fail(MissingCode(file));
  if (info.isDirectory || info.readOnly) return Fail(win32_error::kAccessDenied);
  items_.erase(file.key);
  readOnlyOverride_.erase(file.key);
  removed_.insert(file.key);
  Operation change{};
  change.kind = OperationKind::kRemoveFile;
  change.path = path;
  Changed(std::move(change));
  return true;
}

bool DryRunFileSystem::IdentifyFolder(const std::string& path, FolderId& id) {
  Resolved folder = Resolve(path);
  auto made = items_.find(folder.key);
  if (made != items_.end()) {
    if (!made->second.isDirectory) return Fail(win32_error::kDirectory);
    // Folders that exist only here get identities no disk hands out.
    id.volume = ~uint64_t{0};
    id.index = made->second.serial;
    return true;
  }
  if (removed_.count(folder.key) != 0 || IsHidden(folder.key)) {
    return Fail(win32_error::kPathNotFound);
  }
  return inner_.IdentifyFolder(folder.full, id);
}

bool DryRunFileSystem::GetInfo(const std::string& path, FileInfo& info) {
  return Lookup(Resolve(path), info);
}

}  // namespace vostrel
