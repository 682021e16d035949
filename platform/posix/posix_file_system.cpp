#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "platform/posix/case_fold.h"
#include "platform/posix/posix_whole_file.h"
#include "platform/posix/profile_writer.h"
#include "platform/posix/win32_errors.h"

namespace vostrel::posix {

namespace {

namespace code = win32_error;

constexpr size_t kRangeChunk = size_t{1} << 30;  // bytes per copy_file_range call
constexpr size_t kBufferSize = size_t{1} << 20;  // the read/write fallback's buffer
constexpr mode_t kPermissionBits = 0777;
// Folders held open: the source and destination of the walk level being
// copied, and of the level above it, which the walk comes back to.
constexpr size_t kOpenFolders = 4;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Windows reads a file as read-only when its owner cannot write it. We run
// as root, whom the kernel lets write anyway, so the bit is checked here.
bool IsReadOnly(mode_t mode) { return (mode & S_IWUSR) == 0; }

// Errors that mean "this way of copying is not available here", after which
// the next way is tried.
bool IsUnsupported(int error) {
  return error == EOPNOTSUPP || error == ENOTTY || error == ENOSYS || error == EXDEV ||
         error == EINVAL || error == EBADF || error == ETXTBSY;
}

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

class DirCloser {
 public:
  explicit DirCloser(DIR* dir) : dir_(dir) {}
  ~DirCloser() { closedir(dir_); }
  DirCloser(const DirCloser&) = delete;
  DirCloser& operator=(const DirCloser&) = delete;

 private:
  DIR* dir_;
};

}  // namespace

// An item named by an engine path: the folder that holds it, resolved, and
// its own name (as on disk once found, else as given).
struct PosixFileSystem::Location {
  SplitPath split;
  std::string folder;
  std::string leaf;  // empty when the path names a root
  bool folderFound = false;
  bool valid = true;  // false for an empty path

  std::string Native() const { return leaf.empty() ? folder : JoinNative(folder, leaf); }

  // An item in a folder already found on disk.
  static Location In(const std::string& folder, const std::string& leaf) {
    Location location;
    location.folder = folder;
    location.leaf = leaf;
    location.folderFound = true;
    return location;
  }
};

// A folder copies go through, held open so that each of its files is
// opened, created and linked by name within it: the folder's path is
// resolved and walked once, not again for every file.
struct PosixFileSystem::OpenFolder {
  OpenFolder(std::string givenPath, std::string nativePath, int folderFd)
      : given(std::move(givenPath)), native(std::move(nativePath)), fd(folderFd) {}
  ~OpenFolder() { close(fd); }
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;

  // Whether a file created here asking for the permission bits `wanted`
  // gets exactly them (no umask bits to take away, no default ACL in the
  // umask's place), so that the copy needs no chmod of its own. The umask is
  // read without changing it, at the first copy into the folder.
  bool CreatesExactly(mode_t wanted) {
    if (createMask == kUnread) createMask = ReadCreateMask();
    return createMask >= 0 && (wanted & static_cast<mode_t>(createMask)) == 0;
  }

  std::string given;   // the path before the item's name, as the engine wrote it
  std::string native;  // the folder on disk
  int fd;              // O_PATH descriptor of it

 private:
  static constexpr int kUnread = -1;
  static constexpr int kUnknown = -2;

  int ReadCreateMask() const {
    if (getxattr(OpenableFolder(native).c_str(), "system.posix_acl_default", nullptr, 0) >= 0) {
      return kUnknown;
    }
    FILE* status = std::fopen("/proc/self/status", "re");
    if (status == nullptr) return kUnknown;
    int mask = kUnknown;
    char line[128];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      unsigned value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<int>(value & kPermissionBits);
        break;
      }
    }
    std::fclose(status);
    return mask;
  }

  int createMask = kUnread;
};

// The folder of one copy's target: one held open, or one opened for this
// copy alone (`held` null).
struct PosixFileSystem::FolderRef {
  const std::string* native;
  int fd;
  OpenFolder* held;
};

// The entries of one folder, read and sorted when the enumeration starts.
class PosixFileSystem::Enumeration : public FolderEnumeration {
 public:
  Enumeration(unsigned long& lastError, std::vector<FindData> entries)
      : lastError_(lastError), entries_(std::move(entries)) {}

  bool Next(FindData& entry) override {
    if (next_ >= entries_.size()) {
      lastError_ = code::kNoMoreFiles;
      return false;
    }
    entry = std::move(entries_[next_++]);
    return true;
  }

 private:
  unsigned long& lastError_;
  std::vector<FindData> entries_;
  size_t next_ = 1;  // FindFirst hands out the first entry
};

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

// Tries the name as given first (one system call, no folder scan); only when
// nothing has that exact name is the folder's case variant looked up.
template <typename Probe>
int PosixFileSystem::ProbeExisting(Location& location, Probe probe) {
  int error = probe(location.Native());
  if (error != ENOENT || location.leaf.empty() || !location.folderFound) return error;
  std::string spelling;
  if (!names_.Lookup(location.folder, location.leaf, spelling) || spelling == location.leaf) {
    return error;
  }
  location.leaf = spelling;
  return probe(location.Native());
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

PosixFileSystem::OpenFolder* PosixFileSystem::FolderOf(const std::string& path, std::string& leaf) {
  const size_t cut = path.find_last_of("\\/");
  // Only an absolute path ending in a plain name: a relative one means
  // another folder once the current folder changes.
  if (path.empty() || !IsSeparator(path[0]) || cut == std::string::npos || cut + 1 == path.size()) {
    return nullptr;
  }
  const char* name = path.c_str() + cut + 1;
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return nullptr;
  for (size_t i = 0; i < folders_.size(); ++i) {
    const std::string& given = folders_[i]->given;
    if (given.size() == cut && path.compare(0, cut, given) == 0) {
      std::rotate(folders_.begin(), folders_.begin() + static_cast<std::ptrdiff_t>(i),
                  folders_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      leaf.assign(name);
      return folders_.front().get();
    }
  }
  Location location = Locate(path);
  if (!location.valid || !location.folderFound || location.leaf.empty()) return nullptr;
  int fd = open(OpenableFolder(location.folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  if (folders_.size() >= kOpenFolders) folders_.pop_back();
  folders_.insert(folders_.begin(), std::make_unique<OpenFolder>(path.substr(0, cut),
                                                                 std::move(location.folder), fd));
  leaf = std::move(location.leaf);
  return folders_.front().get();
}

bool PosixFileSystem::IsStale(const OpenFolder& folder) {
  struct stat held, named;
  if (fstat(folder.fd, &held) != 0 || stat(OpenableFolder(folder.native).c_str(), &named) != 0) {
    return true;
  }
  return held.st_dev != named.st_dev || held.st_ino != named.st_ino;
}

void PosixFileSystem::Forget() {
  names_.Forget();
  folders_.clear();
  ++forgets_;
}

bool PosixFileSystem::CopyOneFile(const std::string& existing, const std::string& target,
                                  bool failIfExists) {
  bool stale = false;
  const bool copied = CopyThroughFolders(existing, target, failIfExists, stale);
  if (!stale) return copied;
  // A folder held open was removed or replaced behind our back: find both
  // folders again by name.
  Forget();
  return CopyThroughFolders(existing, target, failIfExists, stale);
}

bool PosixFileSystem::CopyThroughFolders(const std::string& existing, const std::string& target,
                                         bool failIfExists, bool& stale) {
  // O_NONBLOCK: a pipe on the medium must not hang the run; it is refused
  // below like any other item that is not a plain file.
  constexpr int kSourceFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  UniqueFd in;
  std::string name;
  if (OpenFolder* from = FolderOf(existing, name)) {
    // The name as given first (no folder scan); its case variant only when
    // nothing has that exact name.
    in.Reset(openat(from->fd, name.c_str(), kSourceFlags));
    int error = in ? 0 : errno;
    std::string spelling;
    if (error == ENOENT && names_.Lookup(from->native, name, spelling) && spelling != name) {
      name = spelling;
      in.Reset(openat(from->fd, name.c_str(), kSourceFlags));
      error = in ? 0 : errno;
    }
    if (error != 0 && IsStale(*from)) {
      stale = true;
      return false;
    }
    if (error != 0) return FailErrno(error, Location::In(from->native, name));
  } else {
    Location source = Locate(existing);
    if (!source.valid) return Fail(code::kPathNotFound);
    int error = ProbeExisting(source, [&](const std::string& native) {
      in.Reset(open(native.c_str(), kSourceFlags));
      return in ? 0 : errno;
    });
    if (error != 0) return FailErrno(error, source);
  }
  struct stat status;
  if (fstat(in.get(), &status) != 0) return Fail(Win32FromErrno(errno));
  if (!S_ISREG(status.st_mode)) return Fail(code::kAccessDenied);

  Location destination;  // the long way only
  UniqueFd ownFolder;
  FolderRef folder{nullptr, -1, nullptr};
  if (OpenFolder* to = FolderOf(target, name)) {
    folder = FolderRef{&to->native, to->fd, to};
  } else {
    destination = Locate(target);
    if (!destination.valid || !destination.folderFound) return Fail(code::kPathNotFound);
    if (destination.leaf.empty()) return Fail(code::kAccessDenied);
    ownFolder.Reset(
        open(OpenableFolder(destination.folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!ownFolder) return FailErrno(errno, destination);
    folder = FolderRef{&destination.folder, ownFolder.get(), nullptr};
    name = destination.leaf;
  }
  const uint64_t forgets = forgets_;
  for (bool firstTry = true;; firstTry = false) {
    std::string replacing;
    std::string spelling;
    if (names_.Lookup(*folder.native, name, spelling)) {
      if (failIfExists) return Fail(code::kFileExists);
      // As on Windows, a folder or a read-only file is not replaced.
      struct stat old;
      if (fstatat(folder.fd, spelling.c_str(), &old, 0) == 0 &&
          (S_ISDIR(old.st_mode) || IsReadOnly(old.st_mode))) {
        return Fail(code::kAccessDenied);
      }
      replacing = spelling;
    }
    if (CopyInto(folder, name, replacing, in.get(), status, stale)) return true;
    // The name was taken behind our back after the folder was read; where
    // replacing is allowed, look again (the index now knows the name).
    if (stale || forgets != forgets_ || failIfExists || !replacing.empty() ||
        lastError_ != code::kFileExists || !firstTry) {
      return false;
    }
    if (lseek(in.get(), 0, SEEK_SET) != 0) return Fail(Win32FromErrno(errno));
  }
}

// Writes the copy under a temporary name (or none at all) in the target
// folder and links it to its final name only once it is complete, so a
// failure, a full disk or a crash never leaves a partial file behind, and an
// existing file is never replaced by accident.
bool PosixFileSystem::CopyInto(const FolderRef& folder, const std::string& leaf,
                               const std::string& replacing, int source,
                               const struct ::stat& status, bool& stale) {
  const std::string& finalName = replacing.empty() ? leaf : replacing;
  const mode_t wanted = status.st_mode & kPermissionBits;
  // A failure in a folder held open may mean it was removed or replaced
  // meanwhile (a removed folder refuses new files with ENOENT or EPERM).
  auto replaced = [&](int error) {
    return error != EEXIST && error != ENOSPC && folder.held != nullptr && IsStale(*folder.held);
  };
  UniqueFd out;
  std::string temporary;
  bool anonymous = options_.anonymousTemporary && replacing.empty();
  bool modeSet = false;
  if (anonymous) {
    modeSet = folder.held != nullptr && folder.held->CreatesExactly(wanted);
    out.Reset(openat(folder.fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, modeSet ? wanted : 0600));
    if (!out) {
      int error = errno;
      if (error != EOPNOTSUPP && error != EISDIR && error != EINVAL) {
        if (replaced(error)) {
          stale = true;
          return false;
        }
        return FailErrno(error, Location::In(*folder.native, leaf));
      }
      anonymous = false;
      modeSet = false;
    }
  }
  if (!anonymous) {
    // A leading "." keeps a half-written copy out of any folder walk.
    out.Reset(CreateTemporaryIn(*folder.native, 0600, temporary));
    if (!out) return FailErrno(errno, Location::In(*folder.native, leaf));
  }
  auto discard = [&](int error) {
    out.Reset();
    if (!temporary.empty()) unlink(temporary.c_str());
    if (replaced(error)) {
      stale = true;
      return false;
    }
    if (error == EEXIST) names_.NoteAdded(*folder.native, finalName);
    return FailErrno(error, Location::In(*folder.native, leaf));
  };

  // Where a reflink was refused, it is not tried again for the same pair of
  // disks (source device, target folder) file after file.
  uint64_t device = static_cast<uint64_t>(status.st_dev);
  bool tryClone = options_.clone && !(noCloneDevice_ == device && noCloneFolder_ == *folder.native);
  bool cloneRefused = false;
  uint64_t copied = 0;
  if (int error = CopyData(source, out.get(), static_cast<uint64_t>(status.st_size), tryClone,
                           cloneRefused, copied)) {
    return discard(error);
  }
  if (cloneRefused) {
    noCloneDevice_ = device;
    noCloneFolder_ = *folder.native;
  }
  if (!modeSet && fchmod(out.get(), wanted) != 0) return discard(errno);
  const struct timespec times[2] = {status.st_atim, status.st_mtim};
  if (futimens(out.get(), times) != 0) return discard(errno);

  if (anonymous) {
    int linked = linkat(out.get(), "", folder.fd, finalName.c_str(), AT_EMPTY_PATH);
    if (linked != 0 && (errno == ENOENT || errno == EPERM)) {
      // Linking a descriptor directly needs a privilege; its /proc name does not.
      char procPath[48];
      std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", out.get());
      linked = linkat(AT_FDCWD, procPath, folder.fd, finalName.c_str(), AT_SYMLINK_FOLLOW);
    }
    if (linked != 0) return discard(errno);
  } else {
    const std::string finalPath = JoinNative(*folder.native, finalName);
    if (close(out.Release()) != 0) return discard(errno);
    if (!replacing.empty()) {
      if (rename(temporary.c_str(), finalPath.c_str()) != 0) return discard(errno);
    } else if (link(temporary.c_str(), finalPath.c_str()) == 0) {
      unlink(temporary.c_str());
    } else if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS) {
      // A file system without hard links: a rename that refuses to replace.
      if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) !=
          0) {
        return discard(errno);
      }
    } else {
      return discard(errno);
    }
  }
  names_.NoteAdded(*folder.native, finalName);
  lastCopySize_ = copied;
  return true;
}

// Reflink first (no data moves at all), then copy_file_range (the kernel
// copies, possibly offloaded), then a plain read/write loop. Returns 0 or
// the errno that ended the copy. `size` is the source's size when opened:
// the medium does not change while a kit is built, so no call is spent to
// find its end.
int PosixFileSystem::CopyData(int from, int to, uint64_t size, bool tryClone, bool& cloneRefused,
                              uint64_t& copied) {
  copied = 0;
  cloneRefused = false;
  // Sizes of 0 go to the plain loop: some files report 0 and hold data.
  if (size == 0) tryClone = false;
  if (tryClone) {
    if (ioctl(to, FICLONE, from) == 0) {
      copied = size;
      return 0;
    }
    if (!IsUnsupported(errno)) return errno;
    cloneRefused = true;
  }
  if (options_.copyFileRange && size > 0) {
    while (copied < size) {
      ssize_t moved = copy_file_range(from, nullptr, to, nullptr,
                                      std::min<uint64_t>(size - copied, kRangeChunk), 0);
      if (moved > 0) {
        copied += static_cast<uint64_t>(moved);
        continue;
      }
      if (moved == 0) break;  // shorter than it was: the loop below finds the end
      if (errno == EINTR) continue;
      if (!IsUnsupported(errno)) return errno;
      break;  // the loop below goes on from where the kernel stopped
    }
    if (copied == size) return 0;
  }
  if (buffer_.empty()) buffer_.resize(kBufferSize);
  for (;;) {
    ssize_t got = read(from, buffer_.data(), buffer_.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    if (!WriteAll(to, buffer_.data(), static_cast<size_t>(got))) return errno;
    copied += static_cast<uint64_t>(got);
  }
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
  DirCloser closer(dir);

  std::vector<FolderEntry> listing;
  std::vector<uint32_t> attributes;
  for (;;) {
    errno = 0;
    struct dirent* entry = readdir(dir);
    if (entry == nullptr) {
      if (errno != 0) {
        Fail(Win32FromErrno(errno));
        return nullptr;
      }
      break;
    }
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (name.find('\\') != std::string::npos) {
      // It would be split into folders on the way back in, and a copy could
      // land outside its destination: never hand it to the engine.
      if (onSkip_) {
        onSkip_(where.folder, name, "the name holds a backslash, which a Windows name cannot");
      }
      continue;
    }
    // Links are followed for the folder bit and marked as reparse points,
    // as Windows marks its links, so a walk can tell where it may lead.
    struct stat status;
    bool isLink = entry->d_type == DT_LNK;
    if (entry->d_type == DT_UNKNOWN) {
      if (fstatat(dirfd(dir), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
      isLink = S_ISLNK(status.st_mode);
    }
    bool known = entry->d_type != DT_UNKNOWN && !isLink;
    if ((known || isLink) && fstatat(dirfd(dir), name.c_str(), &status, 0) != 0) {
      if (!isLink) continue;            // gone since readdir saw it
      status.st_mode = S_IFLNK | 0777;  // a link that leads nowhere
    }
    uint32_t bits = isLink ? kFileAttributeReparsePoint : 0;
    if (S_ISDIR(status.st_mode)) bits |= kFileAttributeDirectory;
    if (!isLink && IsReadOnly(status.st_mode)) bits |= kFileAttributeReadOnly;
    listing.push_back(FolderEntry{FoldKey(name), std::move(name)});
    attributes.push_back(bits);
  }
  names_.Install(where.folder, listing);

  std::u16string wanted = FoldKey(where.leaf);
  std::vector<size_t> order;
  for (size_t i = 0; i < listing.size(); ++i) {
    if (MatchesPattern(wanted, listing[i].key)) order.push_back(i);
  }
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return NtfsLess(listing[a].key, listing[a].name, listing[b].key, listing[b].name);
  });

  std::vector<FindData> entries;
  entries.reserve(order.size() + 2);
  // Windows lists "." and ".." first in every folder but a volume's root.
  if (where.folder != "/") {
    for (const char* dots : {".", ".."}) {
      if (MatchesPattern(wanted, FoldKey(dots))) {
        entries.push_back(FindData{dots, kFileAttributeDirectory});
      }
    }
  }
  for (size_t i : order) {
    entries.push_back(FindData{std::move(listing[i].name), attributes[i]});
  }
  if (entries.empty()) {
    Fail(code::kFileNotFound);
    return nullptr;
  }
  first = entries.front();
  return std::make_unique<Enumeration>(lastError_, std::move(entries));
}

bool PosixFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  Location location = Locate(path);
  if (!location.valid) return Fail(code::kPathNotFound);
  struct stat status;
  int error = ProbeExisting(location, [&](const std::string& native) {
    return stat(native.c_str(), &status) == 0 ? 0 : errno;
  });
  if (error != 0) return FailErrno(error, location);
  mode_t current = status.st_mode & 07777;
  mode_t wanted =
      (attributes & kFileAttributeReadOnly) != 0 ? (current & ~mode_t{0222}) : (current | S_IWUSR);
  if (wanted != current && chmod(location.Native().c_str(), wanted) != 0) {
    return FailErrno(errno, location);
  }
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
  if (!location.valid) return Fail(code::kPathNotFound);
  struct stat status;
  int error = ProbeExisting(location, [&](const std::string& native) {
    return lstat(native.c_str(), &status) == 0 ? 0 : errno;
  });
  if (error != 0) return FailErrno(error, location);
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
  SplitPath split = Split(path);
  ResolvedFolder resolved = names_.ResolveFolder(split, split.parts.size());
  std::string existing = resolved.native.substr(0, resolved.existingSize);
  std::string rest = resolved.native.substr(resolved.existingSize);
  std::string result = existing;
  if (char* real = realpath(OpenableFolder(existing).c_str(), nullptr)) {
    result = real;
    std::free(real);
  }
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
  if (!location.valid) return Fail(code::kPathNotFound);
  int error = ProbeExisting(location, [&](const std::string& native) {
    return stat(native.c_str(), &status) == 0 ? 0 : errno;
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
