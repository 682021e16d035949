#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "engine/name_key.h"
#include "platform/posix/data_mover.h"
#include "platform/posix/pending_file.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/profile_writer.h"
#include "platform/posix/win32_errors.h"

namespace vostrel::posix {

using names::FoldKey;
using names::MatchesPattern;
using names::NtfsLess;

namespace {

namespace code = win32_error;

class DirCloser {
 public:
  explicit DirCloser(DIR* dir) : dir_(dir) {}
  ~DirCloser() { closedir(dir_); }
  DirCloser(const DirCloser&) = delete;
  DirCloser& operator=(const DirCloser&) = delete;

 private:
  DIR* dir_;
};

// The attributes Windows would list for a folder entry; false when it has
// gone since readdir saw it. Links are followed for the folder bit and
// marked as reparse points, as Windows marks its links, so a walk can tell
// where it may lead. Without `readOnlyBit` a plain file the listing names
// as one is taken as it is named, with no look-up of its own.
bool AttributesOf(DIR* dir, const dirent& entry, bool readOnlyBit, uint32_t& bits) {
  struct stat status;
  bits = 0;
  if (entry.d_type == DT_REG && !readOnlyBit) return true;
  bool isLink = entry.d_type == DT_LNK;
  if (entry.d_type == DT_UNKNOWN) {
    if (fstatat(dirfd(dir), entry.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    isLink = S_ISLNK(status.st_mode);
  }
  bool known = entry.d_type != DT_UNKNOWN && !isLink;
  if ((known || isLink) && fstatat(dirfd(dir), entry.d_name, &status, 0) != 0) {
    if (!isLink) return false;        // gone since readdir saw it
    status.st_mode = S_IFLNK | 0777;  // a link that leads nowhere
  }
  bits = isLink ? kFileAttributeReparsePoint : 0;
  if (S_ISDIR(status.st_mode)) bits |= kFileAttributeDirectory;
  if (!isLink && IsReadOnly(status.st_mode)) bits |= kFileAttributeReadOnly;
  return true;
}

// Gives the name `leaf` in `folder` a file of its own with the bytes, owner
// and times of the file it names (`status`) and the permission bits `mode`:
// the file has other names, maybe outside the kit, which keep theirs. 0 or
// an errno; on failure the name still holds the shared file.
int GiveOwnCopy(const std::string& folder, const std::string& leaf, const struct stat& status,
                mode_t mode) {
  UniqueFd source(open(JoinNative(folder, leaf).c_str(), kSourceFlags | O_NOFOLLOW));
  struct stat opened;
  if (!source || fstat(source.get(), &opened) != 0) return errno;
  if (opened.st_ino != status.st_ino || opened.st_dev != status.st_dev) return EAGAIN;
  PendingFile copy;
  int error = copy.CreateUnnamed(AT_FDCWD, folder, 0600);
  if (PendingFile::NoUnnamedFiles(error)) error = copy.CreateNamed(folder, 0600);
  if (error != 0) return error;
  std::vector<char> buffer;
  const DataSource from = DataSource::OfFile(source.get(), opened);
  error = MoveData(from, copy.fd(), true, true, platform::ByteListener(), buffer).error;
  if (error != 0) return error;
  if (opened.st_uid != geteuid() || opened.st_gid != getegid()) {
    (void)!fchown(copy.fd(), opened.st_uid, opened.st_gid);
  }
  if (fchmod(copy.fd(), mode) != 0 || futimens(copy.fd(), from.times) != 0) return errno;
  if ((error = copy.Flush()) != 0) return error;
  return copy.Replace(leaf);
}

}  // namespace

std::vector<FindData> PosixFileSystem::Matching(const std::string& pattern, bool withDots,
                                                std::vector<FolderEntry>& listing,
                                                const std::vector<uint32_t>& attributes) {
  const std::u16string wanted = FoldKey(pattern);
  std::vector<size_t> order;
  // "*" and "*.*" match every name, with a key or without.
  const bool everyName = wanted == u"*" || wanted == u"*.*";
  for (size_t i = 0; i < listing.size(); ++i) {
    const FolderEntry& entry = listing[i];
    if (everyName || MatchesPattern(wanted, entry.key.empty() ? FoldKey(entry.name) : entry.key)) {
      order.push_back(i);
    }
  }
  names::SortListing(order.begin(), order.end(), [&](size_t a, size_t b) {
    return NtfsLess(listing[a].key, listing[a].name, listing[b].key, listing[b].name);
  });
  std::vector<FindData> entries;
  entries.reserve(order.size() + 2);
  if (withDots) {
    for (const char* dots : {".", ".."}) {
      if (MatchesPattern(wanted, FoldKey(dots))) {
        entries.push_back(FindData{dots, kFileAttributeDirectory});
      }
    }
  }
  for (size_t i : order) {
    entries.push_back(FindData{std::move(listing[i].name), attributes[i]});
  }
  return entries;
}

// The entries of one folder, read and sorted when the enumeration starts.
class PosixFileSystem::Enumeration : public FolderEnumeration {
 public:
  Enumeration(unsigned long& lastError, std::vector<FindData> entries, bool tellAhead)
      : lastError_(lastError), entries_(std::move(entries)), tellAhead_(tellAhead) {}

  bool Next(FindData& entry) override {
    if (next_ >= entries_.size()) {
      lastError_ = code::kNoMoreFiles;
      return false;
    }
    entry = std::move(entries_[next_++]);
    return true;
  }

  std::vector<FindData> Ahead() const override {
    if (!tellAhead_ || next_ >= entries_.size()) return {};
    return std::vector<FindData>(entries_.begin() + static_cast<std::ptrdiff_t>(next_),
                                 entries_.end());
  }

 private:
  unsigned long& lastError_;
  std::vector<FindData> entries_;
  size_t next_ = 1;  // FindFirst hands out the first entry
  bool tellAhead_;
};

std::unique_ptr<FolderEnumeration> PosixFileSystem::Enumerate(unsigned long& lastError,
                                                              std::vector<FindData> entries,
                                                              bool tellAhead) {
  return std::make_unique<Enumeration>(lastError, std::move(entries), tellAhead);
}

namespace {

class MarkingEnumeration : public FolderEnumeration {
 public:
  MarkingEnumeration(std::unique_ptr<FolderEnumeration> inner, bool& flag, bool value)
      : inner_(std::move(inner)), flag_(flag), value_(value) {}
  bool Next(FindData& entry) override {
    flag_ = value_;
    return inner_->Next(entry);
  }
  std::vector<FindData> Ahead() const override { return inner_->Ahead(); }

 private:
  std::unique_ptr<FolderEnumeration> inner_;
  bool& flag_;
  bool value_;
};

}  // namespace

std::unique_ptr<FolderEnumeration> PosixFileSystem::Marking(
    std::unique_ptr<FolderEnumeration> inner, bool& flag, bool value) {
  return std::make_unique<MarkingEnumeration>(std::move(inner), flag, value);
}

PosixFileSystem::PosixFileSystem(platform::SkipListener onSkip)
    : PosixFileSystem(std::move(onSkip), CopyOptions()) {}

PosixFileSystem::PosixFileSystem(platform::SkipListener onSkip, CopyOptions options)
    : onSkip_(std::move(onSkip)), options_(options) {}

PosixFileSystem::~PosixFileSystem() = default;

PosixFileSystem::Location PosixFileSystem::Locate(const std::string& path) {
  Location location;
  if (path.empty()) {
    location.valid = false;
    return location;
  }
  location.split = Split(path);
  const std::vector<std::string>& parts = location.split.parts;
  if (parts.empty()) {
    location.folder = location.split.base;
    location.folderFound = true;
    return location;
  }
  ResolvedFolder folder = names_.ResolveFolder(location.split, parts.size() - 1);
  location.folder = std::move(folder.native);
  location.folderFound = folder.found;
  location.leaf = parts.back();
  return location;
}

bool PosixFileSystem::Fail(unsigned long win32Code) {
  lastError_ = win32Code;
  return false;
}

bool PosixFileSystem::FailErrno(int error, const Location& location) {
  if (error == ENOENT || error == ENOTDIR) {
    struct stat status;
    bool folderThere = location.valid && !location.leaf.empty() &&
                       stat(OpenableFolder(location.folder).c_str(), &status) == 0 &&
                       S_ISDIR(status.st_mode);
    // A folder we had resolved has gone or changed behind our back.
    if (!folderThere && location.folderFound) Forget();
    if (error == ENOENT) return Fail(folderThere ? code::kFileNotFound : code::kPathNotFound);
  }
  return Fail(Win32FromErrno(error));
}

bool PosixFileSystem::CreateFolder(const std::string& path) {
  Location target = Locate(path);
  if (!target.valid) return Fail(code::kPathNotFound);
  std::string spelling;
  if (!target.leaf.empty() && target.folderFound &&
      names_.Lookup(target.folder, target.leaf, spelling)) {
    return Fail(code::kAlreadyExists);
  }
  std::string native = target.Native();
  if (mkdir(native.c_str(), 0777) != 0) {
    int error = errno;
    if (error == EEXIST) return Fail(code::kAlreadyExists);
    if (error == ENOENT) {
      if (target.folderFound) Forget();
      return Fail(code::kPathNotFound);
    }
    return FailErrno(error, target);
  }
  names_.NoteAdded(target.folder, target.leaf);
  names_.NoteFolderCreated(target.split, target.split.parts.size(), native);
  return true;
}

void PosixFileSystem::Forget() {
  names_.Forget();
  folders_.clear();
  ++forgets_;
}

std::unique_ptr<FolderEnumeration> PosixFileSystem::FindFirst(const std::string& pattern,
                                                              FindData& first) {
  Location where = Locate(pattern);
  if (!where.valid) {
    Fail(code::kPathNotFound);
    return nullptr;
  }
  if (where.leaf.empty() || where.split.trailingSeparator) {
    Fail(code::kFileNotFound);  // no name pattern after the folder
    return nullptr;
  }
  DIR* dir = OpenListing(where);
  if (dir == nullptr) return nullptr;
  DirCloser closer(dir);
  std::vector<FolderEntry> listing;
  std::vector<uint32_t> attributes;
  if (!ReadListing(dir, where.folder, listing, attributes)) return nullptr;
  // The names just read are not indexed: the walk opens each by the name
  // the listing gave. An index read before is dropped, so a question about
  // another case reads the folder afresh.
  names_.NoteListed(where.folder);

  std::vector<FindData> entries = Matching(where.leaf, where.folder != "/", listing, attributes);
  if (entries.empty()) {
    Fail(code::kFileNotFound);
    return nullptr;
  }
  first = entries.front();
  return Enumerate(lastError_, std::move(entries), tellAhead_);
}

DIR* PosixFileSystem::OpenListing(const Location& where) {
  UniqueFd folderFd(open(OpenableFolder(where.folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folderFd) {
    int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      if (where.folderFound) Forget();
      Fail(code::kPathNotFound);
    } else {
      Fail(Win32FromErrno(error));
    }
    return nullptr;
  }
  DIR* dir = fdopendir(folderFd.get());
  if (dir == nullptr) {
    Fail(Win32FromErrno(errno));
    return nullptr;
  }
  folderFd.Release();
  return dir;
}

bool PosixFileSystem::ReadListing(DIR* dir, const std::string& folder,
                                  std::vector<FolderEntry>& listing,
                                  std::vector<uint32_t>& attributes) {
  for (;;) {
    errno = 0;
    struct dirent* entry = readdir(dir);
    if (entry == nullptr) return errno == 0 || Fail(Win32FromErrno(errno));
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (name.find('\\') != std::string::npos) {
      // It would be split into folders on the way back in, and a copy could
      // land outside its destination: never hand it to the engine.
      if (onSkip_) {
        onSkip_(folder, name, "the name holds a backslash, which a Windows name cannot",
                platform::SkipKind::kEntry);
      }
      continue;
    }
    uint32_t bits = 0;
    if (!AttributesOf(dir, *entry, readOnlyBit_, bits)) continue;
    listing.push_back(FolderEntry{names::ListingKey(name), std::move(name)});
    attributes.push_back(bits);
  }
}

bool PosixFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  Location location = Locate(path);
  struct stat status;
  if (!StatLocated(location, status, true)) return false;
  mode_t current = status.st_mode & 07777;
  mode_t wanted =
      (attributes & kFileAttributeReadOnly) != 0 ? (current & ~mode_t{0222}) : (current | S_IWUSR);
  if (wanted == current) return true;
  struct stat own;
  if (status.st_nlink > 1 && lstat(location.Native().c_str(), &own) == 0 && S_ISREG(own.st_mode)) {
    // A chmod would change every other name of the file too, maybe outside
    // the kit: the kit's name gets a file of its own instead.
    const int error = GiveOwnCopy(location.folder, location.leaf, own, wanted);
    return error == 0 || FailErrno(error, location);
  }
  if (chmod(location.Native().c_str(), wanted) != 0) return FailErrno(errno, location);
  return true;
}

bool PosixFileSystem::WriteProfileEntry(const std::string& section, const std::string& key,
                                        const std::string& value, const std::string& path) {
  Location location = Locate(path);
  // The writer creates a missing file but never a missing folder.
  if (!location.valid || location.leaf.empty() || !location.folderFound) {
    return Fail(code::kPathNotFound);
  }
  std::string spelling;
  if (names_.Lookup(location.folder, location.leaf, spelling)) location.leaf = spelling;
  unsigned long failure = code::kSuccess;
  if (!WriteProfileFile(location.Native(), section, key, value, failure)) {
    return Fail(failure != code::kSuccess ? failure : code::kGenFailure);
  }
  names_.NoteAdded(location.folder, location.leaf);
  return true;
}

bool PosixFileSystem::RemoveFile(const std::string& path) {
  Location location = Locate(path);
  struct stat status;
  if (!StatLocated(location, status, false)) return false;
  std::string native = location.Native();
  // Only files go, as with the C runtime on Windows: not folders, not links
  // to folders, not read-only files.
  if (S_ISDIR(status.st_mode)) return Fail(code::kAccessDenied);
  if (S_ISLNK(status.st_mode)) {
    struct stat linked;
    if (stat(native.c_str(), &linked) == 0 && S_ISDIR(linked.st_mode)) {
      return Fail(code::kAccessDenied);
    }
  } else if (IsReadOnly(status.st_mode)) {
    return Fail(code::kAccessDenied);
  }
  if (unlink(native.c_str()) != 0) return FailErrno(errno, location);
  names_.NoteRemoved(location.folder, location.leaf);
  return true;
}

std::string PosixFileSystem::FullPath(const std::string& path) {
  // A file not yet there in a folder held open (what a run asks before each
  // copy): where that folder is, which is where the copy will go. The
  // folder's index answers without a system call when it is at hand.
  std::string leaf, spelling;
  struct stat status;
  if (OpenFolder* held = FolderOf(path, leaf);
      held != nullptr &&
      (names_.KnownAbsent(held->native, leaf) ||
       (!names_.Lookup(held->native, leaf, spelling) &&
        fstatat(held->fd, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT))) {
    if (!held->Where().empty()) return JoinNative(held->Where(), leaf);
  }
  SplitPath split = Split(path);
  ResolvedFolder resolved = names_.ResolveFolder(split, split.parts.size());
  std::string existing = resolved.native.substr(0, resolved.existingSize);
  std::string rest = resolved.native.substr(resolved.existingSize);
  std::string result = existing;
  const std::string real = RealPath(OpenableFolder(existing));
  if (!real.empty()) result = real;
  if (rest.empty()) return result;
  bool restHasSeparator = rest.front() == '/';
  bool resultHasSeparator = !result.empty() && result.back() == '/';
  if (restHasSeparator && resultHasSeparator) {
    rest.erase(0, 1);
  } else if (!restHasSeparator && !resultHasSeparator && !result.empty()) {
    result += '/';
  }
  return result + rest;
}

bool PosixFileSystem::StatExisting(const std::string& path, struct ::stat& status) {
  Location location = Locate(path);
  return StatLocated(location, status, true);
}

bool PosixFileSystem::StatLocated(Location& location, struct ::stat& status, bool followLinks) {
  if (!location.valid) return Fail(code::kPathNotFound);
  const int error = ProbeExisting(location, [&](const std::string& native) {
    const int result = followLinks ? stat(native.c_str(), &status) : lstat(native.c_str(), &status);
    return result == 0 ? 0 : errno;
  });
  return error == 0 || FailErrno(error, location);
}

bool PosixFileSystem::IdentifyFolder(const std::string& path, FolderId& id) {
  struct stat status;
  if (!StatExisting(path, status)) return false;
  if (!S_ISDIR(status.st_mode)) return Fail(code::kDirectory);
  id.volume = static_cast<uint64_t>(status.st_dev);
  id.index = static_cast<uint64_t>(status.st_ino);
  return true;
}

bool PosixFileSystem::GetInfo(const std::string& path, FileInfo& info) {
  struct stat status;
  if (!StatExisting(path, status)) return false;
  info.isDirectory = S_ISDIR(status.st_mode);
  info.readOnly = IsReadOnly(status.st_mode);
  info.size = static_cast<uint64_t>(status.st_size);
  return true;
}

}  // namespace vostrel::posix
