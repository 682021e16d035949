// The copy path of PosixFileSystem: folders held open, the source opened by
// name under any case, the copy written unnamed (O_TMPFILE) or under a hidden
// temporary name and linked or renamed into place only when whole, its data
// moved by reflink, copy_file_range or a read/write loop.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/windows_path.h"
#include "platform/posix/copies_ahead.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/posix_whole_file.h"
#include "platform/posix/win32_errors.h"

namespace vostrel::posix {

namespace {

namespace code = win32_error;

// Bytes per copy_file_range call: small enough for the progress of a long
// file to move, large enough to cost nothing.
constexpr size_t kRangeChunk = size_t{1} << 24;
constexpr size_t kBufferSize = size_t{1} << 20;  // the read/write fallback's buffer
constexpr uint64_t kToTheEnd = ~uint64_t{0};
// Folders held open: the source and destination of the walk level being
// copied, and of the level above it, which the walk comes back to.
constexpr size_t kOpenFolders = 4;
// O_NONBLOCK: a pipe on the medium must not hang the run; it is refused
// like any other item that is not a plain file.
constexpr int kSourceFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// Errors that mean "this way of copying is not available here", after which
// the next way is tried.
bool IsUnsupported(int error) {
  return error == EOPNOTSUPP || error == ENOTTY || error == ENOSYS || error == EXDEV ||
         error == EINVAL || error == EBADF || error == ETXTBSY;
}

// One file's data on its way: where it goes, the bytes written so far, and
// who hears of them.
struct Transfer {
  int to;
  const platform::ByteListener& onBytes;
  uint64_t copied = 0;

  void Moved(uint64_t bytes) {
    copied += bytes;
    if (onBytes) onBytes(bytes);
  }
};

// copy_file_range of up to `length` bytes, until the file proves shorter or
// the kernel cannot go on; 0 or the errno that ended the copy. The plain loop
// goes on from wherever this stops. A stretch is read from its own offset,
// anything else from the descriptors' current offsets.
int CopyRange(int from, const loff_t* stretchStart, Transfer& transfer, uint64_t length) {
  for (uint64_t done = 0; done < length;) {
    loff_t at = stretchStart != nullptr ? *stretchStart + static_cast<loff_t>(transfer.copied) : 0;
    const ssize_t moved =
        copy_file_range(from, stretchStart != nullptr ? &at : nullptr, transfer.to, nullptr,
                        std::min<uint64_t>(length - done, kRangeChunk), 0);
    if (moved > 0) {
      done += static_cast<uint64_t>(moved);
      transfer.Moved(static_cast<uint64_t>(moved));
      continue;
    }
    if (moved == 0) break;  // shorter than it was
    if (errno == EINTR) continue;
    if (!IsUnsupported(errno)) return errno;
    break;
  }
  return 0;
}

// read/write of up to `length` bytes, or until `next` gives no more; 0 or
// the errno that ended the copy.
template <typename Next>
int CopyByBuffer(Next next, Transfer& transfer, uint64_t length, std::vector<char>& buffer) {
  for (uint64_t done = 0; done < length;) {
    if (buffer.empty()) buffer.resize(kBufferSize);  // only where the kernel could not copy
    const ssize_t got =
        next(buffer.data(), static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - done)));
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    if (!WriteAll(transfer.to, buffer.data(), static_cast<size_t>(got))) return errno;
    done += static_cast<uint64_t>(got);
    transfer.Moved(static_cast<uint64_t>(got));
  }
  return 0;
}

// A file with holes: only its data extents are copied, each to the same
// offset, and the size is set at the end, so the copy has holes where the
// file has them (copy_file_range without a reflink writes holes out).
int CopyExtents(int from, Transfer& transfer, uint64_t size, bool useRange,
                std::vector<char>& buffer) {
  for (uint64_t at = 0; at < size;) {
    const off_t data = lseek(from, static_cast<off_t>(at), SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) break;  // only a hole is left
      return errno;
    }
    const off_t hole = lseek(from, data, SEEK_HOLE);
    if (hole < 0 || lseek(from, data, SEEK_SET) < 0 || lseek(transfer.to, data, SEEK_SET) < 0) {
      return errno;
    }
    const uint64_t length =
        std::min<uint64_t>(static_cast<uint64_t>(hole), size) - static_cast<uint64_t>(data);
    const uint64_t before = transfer.copied;
    int error = useRange ? CopyRange(from, nullptr, transfer, length) : 0;
    if (error == 0) {
      error = CopyByBuffer([from](char* into, size_t most) { return read(from, into, most); },
                           transfer, length - (transfer.copied - before), buffer);
    }
    if (error != 0) return error;
    if (transfer.copied - before < length) break;  // shorter than it was
    at = static_cast<uint64_t>(hole);
  }
  return ftruncate(transfer.to, static_cast<off_t>(size)) != 0 ? errno : 0;
}

}  // namespace

// The folder of one copy's target: one held open, or one opened for this
// copy alone (`held` null).
struct PosixFileSystem::FolderRef {
  const std::string* native = nullptr;
  int fd = -1;
  OpenFolder* held = nullptr;
  // A folder found the long way: its path and descriptor, for this copy alone.
  std::string ownNative;
  UniqueFd ownFd;
};

// The copy's file while it is written: unnamed (O_TMPFILE) until it is
// linked into place, or under a hidden temporary name.
struct PosixFileSystem::PendingCopy {
  PendingCopy(const FolderRef& in, const std::string& asked, const std::string& replacing)
      : folder(in), leaf(asked), finalName(replacing.empty() ? asked : replacing) {}

  const FolderRef& folder;
  const std::string& leaf;  // the name asked for
  std::string finalName;    // the name it takes: `leaf`, or the spelling it replaces
  UniqueFd out;
  std::string temporary;  // empty for an unnamed file
  bool anonymous = false;
  bool modeSet = false;  // created with the copy's permission bits already
  uint64_t copied = 0;
};

int PosixFileSystem::OpenFolder::ReadCreateMask() const {
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

PosixFileSystem::OpenFolder* PosixFileSystem::FolderOf(const std::string& path, std::string& leaf) {
  const size_t cut = path.find_last_of("\\/");
  // Only an absolute path ending in a plain name: a relative one means
  // another folder once the current folder changes.
  if (path.empty() || !winpath::IsSeparator(path[0]) || cut == std::string::npos ||
      cut + 1 == path.size()) {
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

template <typename Attempt>
bool PosixFileSystem::TriedAgainWhenStale(Attempt attempt) {
  Outcome outcome = attempt();
  if (outcome == Outcome::kStale) {
    // A folder held open was removed or replaced behind our back: find the
    // folders again by name.
    Forget();
    outcome = attempt();
  }
  return outcome == Outcome::kOk;
}

bool PosixFileSystem::CopyOneFile(const std::string& existing, const std::string& target,
                                  bool failIfExists) {
  cloned_ = false;
  if (ahead_ != nullptr && failIfExists) {
    CopiesAhead::Taken taken;
    ahead_->Take(existing, target, taken);
    if (taken.state == CopiesAhead::Taken::State::kMade) {
      cloned_ = taken.made.cloned;
      const Outcome placed =
          PlaceMadeAhead(target, taken.made.out, taken.made.bytes, taken.device, taken.inode);
      if (placed != Outcome::kStale) return EndOfCopy(placed == Outcome::kOk);
    } else if (taken.state == CopiesAhead::Taken::State::kFailed &&
               (taken.error == EOPNOTSUPP || taken.error == EISDIR || taken.error == EINVAL)) {
      ahead_->Stop();  // no unnamed files in this kit's folders: one file at a time
    }
  }
  return EndOfCopy(WithRoom([&] {
    return TriedAgainWhenStale([&] { return CopyThroughFolders(existing, target, failIfExists); });
  }));
}

bool PosixFileSystem::EndOfCopy(bool copied) {
  // A reflink costs less than handing the file to a worker and taking it
  // back: where copies are reflinks, the walk makes each one itself.
  if (copied && cloned_ && ahead_ != nullptr) ahead_->Stop();
  return copied;
}

void PosixFileSystem::CopyAheadWith(unsigned jobs) {
  ahead_.reset();
  if (jobs <= 1 || !options_.anonymousTemporary) return;
  ahead_ = std::make_unique<CopiesAhead>(
      jobs,
      [options = options_](const AheadFolders& folders, const std::string& leaf, MadeCopy& made) {
        return MakeAhead(options, folders, leaf, made);
      });
}

void PosixFileSystem::BeginCopiesAhead(const std::string& source, const std::string& dest,
                                       const std::vector<std::string>& names) {
  if (ahead_ == nullptr) return;
  AheadFolders folders;
  OpenFolder* from = names.empty() ? nullptr : HeldFolderOf(winpath::Join(source, names.front()));
  if (from != nullptr) folders.from = fcntl(from->fd, F_DUPFD_CLOEXEC, 0);
  OpenFolder* into = names.empty() ? nullptr : HeldFolderOf(winpath::Join(dest, names.front()));
  if (into != nullptr) {
    folders.into = fcntl(into->fd, F_DUPFD_CLOEXEC, 0);
    folders.createMask = into->CreateMask();
  }
  ahead_->Enter(source, dest, names, folders);
}

void PosixFileSystem::EndCopiesAhead() {
  if (ahead_ != nullptr) ahead_->Leave();
}

PosixFileSystem::OpenFolder* PosixFileSystem::HeldFolderOf(const std::string& path) {
  std::string leaf;
  return FolderOf(path, leaf);
}

bool PosixFileSystem::WithRoom(const std::function<bool()>& write) {
  if (write()) return true;
  if (ahead_ == nullptr || lastError_ != code::kDiskFull || !ahead_->Stop()) return false;
  return write();
}

int PosixFileSystem::MakeAhead(const CopyOptions& options, const AheadFolders& folders,
                               const std::string& leaf, MadeCopy& made) {
  thread_local std::vector<char> buffer;
  // As on the walk's thread: a reflink refused between two disks is not
  // asked for again there.
  thread_local std::pair<uint64_t, uint64_t> noClone{~uint64_t{0}, ~uint64_t{0}};
  UniqueFd in(openat(folders.from, leaf.c_str(), kSourceFlags));
  struct stat status;
  if (!in || fstat(in.get(), &status) != 0) return errno;
  if (!S_ISREG(status.st_mode)) return EACCES;
  const CopySource source = SourceOf(in.get(), status);
  const bool modeSet = CreatesExactly(folders.createMask, source.mode);
  UniqueFd& out = made.out;
  out.Reset(
      openat(folders.into, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, modeSet ? source.mode : 0600));
  if (!out) return errno;
  const std::pair<uint64_t, uint64_t> disks{source.device, static_cast<uint64_t>(folders.device)};
  const DataMoved moved = CopyData(source, out.get(), options.clone && noClone != disks,
                                   options.copyFileRange, nullptr, buffer);
  if (moved.error != 0) return moved.error;
  if (moved.cloneRefused) noClone = disks;
  made.bytes = moved.bytes;
  made.cloned = moved.cloned;
  if (!modeSet && fchmod(out.get(), source.mode) != 0) return errno;
  return futimens(out.get(), source.times) != 0 ? errno : 0;
}

PosixFileSystem::Outcome PosixFileSystem::PlaceMadeAhead(const std::string& target, UniqueFd& out,
                                                         uint64_t bytes, dev_t device,
                                                         ino_t inode) {
  FolderRef folder;
  std::string name;
  struct stat now;
  if (!OpenTargetFolder(target, folder, name) || fstat(folder.fd, &now) != 0 ||
      now.st_dev != device || now.st_ino != inode) {
    return Outcome::kStale;
  }
  std::string spelling;
  if (names_.Lookup(*folder.native, name, spelling)) return OutcomeOf(Fail(code::kFileExists));
  PendingCopy pending(folder, name, "");
  pending.out.Reset(out.Release());
  pending.anonymous = true;
  pending.copied = bytes;
  const int error = PlacePending(pending, false);
  if (error != 0 && error != EEXIST) return Outcome::kStale;
  if (error == 0 && onBytes_) onBytes_(bytes);
  return Settle(pending, error);
}

PosixFileSystem::CopySource PosixFileSystem::SourceOf(int fd, const struct ::stat& status) {
  CopySource source;
  source.fd = fd;
  source.size = static_cast<uint64_t>(status.st_size);
  source.mode = status.st_mode & kPermissionBits;
  source.times[0] = status.st_atim;
  source.times[1] = status.st_mtim;
  source.device = static_cast<uint64_t>(status.st_dev);
  source.blocks = static_cast<uint64_t>(status.st_blocks);
  return source;
}

bool PosixFileSystem::CopyFromStream(const StreamedFile& file, const std::string& target,
                                     bool failIfExists) {
  CopySource source;
  source.fd = file.fd;
  source.size = file.size;
  source.offset = file.offset;
  source.stretch = file.fd >= 0;
  source.stream = file.fd >= 0 ? nullptr : file.stream;
  // Windows marks every file on a CD read-only, and a copy keeps the bit.
  source.mode = file.readOnly ? 0444 : 0644;
  source.times[0].tv_sec = static_cast<time_t>(file.modified);
  source.times[1].tv_sec = static_cast<time_t>(file.modified);
  return TriedAgainWhenStale([&] {
    if (source.stream != nullptr && !source.stream->Rewind()) {
      return OutcomeOf(Fail(Win32FromErrno(errno)));
    }
    return CopyTo(target, failIfExists, source);
  });
}

PosixFileSystem::Outcome PosixFileSystem::CopyThroughFolders(const std::string& existing,
                                                             const std::string& target,
                                                             bool failIfExists) {
  UniqueFd in;
  const Outcome opened = OpenSource(existing, in);
  if (opened != Outcome::kOk) return opened;
  struct stat status;
  if (fstat(in.get(), &status) != 0) return OutcomeOf(Fail(Win32FromErrno(errno)));
  if (!S_ISREG(status.st_mode)) return OutcomeOf(Fail(code::kAccessDenied));
  return CopyTo(target, failIfExists, SourceOf(in.get(), status));
}

PosixFileSystem::Outcome PosixFileSystem::CopyTo(const std::string& target, bool failIfExists,
                                                 const CopySource& source) {
  FolderRef folder;
  std::string name;
  if (!OpenTargetFolder(target, folder, name)) return Outcome::kFailed;
  const uint64_t forgets = forgets_;
  for (bool firstTry = true;; firstTry = false) {
    std::string replacing;
    std::string spelling;
    if (names_.Lookup(*folder.native, name, spelling)) {
      if (failIfExists) return OutcomeOf(Fail(code::kFileExists));
      // As on Windows, a folder or a read-only file is not replaced.
      struct stat old;
      if (fstatat(folder.fd, spelling.c_str(), &old, 0) == 0 &&
          (S_ISDIR(old.st_mode) || IsReadOnly(old.st_mode))) {
        return OutcomeOf(Fail(code::kAccessDenied));
      }
      replacing = spelling;
    }
    const Outcome outcome = CopyInto(folder, name, replacing, source);
    // The name was taken behind our back after the folder was read; where
    // replacing is allowed, look again (the index now knows the name).
    if (outcome != Outcome::kFailed || forgets != forgets_ || failIfExists || !replacing.empty() ||
        lastError_ != code::kFileExists || !firstTry) {
      return outcome;
    }
    const bool rewound = source.stream != nullptr ? source.stream->Rewind()
                         : source.stretch         ? true
                                                  : lseek(source.fd, 0, SEEK_SET) == 0;
    if (!rewound) return OutcomeOf(Fail(Win32FromErrno(errno)));
  }
}

PosixFileSystem::Outcome PosixFileSystem::OpenSource(const std::string& existing, UniqueFd& in) {
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
    if (error == 0) return Outcome::kOk;
    if (IsStale(*from)) return Outcome::kStale;
    return OutcomeOf(FailErrno(error, Location::In(from->native, name)));
  }
  Location source = Locate(existing);
  if (!source.valid) return OutcomeOf(Fail(code::kPathNotFound));
  const int error = ProbeExisting(source, [&](const std::string& native) {
    in.Reset(open(native.c_str(), kSourceFlags));
    return in ? 0 : errno;
  });
  return error == 0 ? Outcome::kOk : OutcomeOf(FailErrno(error, source));
}

bool PosixFileSystem::OpenTargetFolder(const std::string& target, FolderRef& folder,
                                       std::string& name) {
  if (OpenFolder* to = FolderOf(target, name)) {
    folder.native = &to->native;
    folder.fd = to->fd;
    folder.held = to;
    return true;
  }
  const Location destination = Locate(target);
  if (!destination.valid || !destination.folderFound) return Fail(code::kPathNotFound);
  if (destination.leaf.empty()) return Fail(code::kAccessDenied);
  folder.ownFd.Reset(
      open(OpenableFolder(destination.folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder.ownFd) return FailErrno(errno, destination);
  folder.ownNative = destination.folder;
  folder.native = &folder.ownNative;
  folder.fd = folder.ownFd.get();
  name = destination.leaf;
  return true;
}

// Writes the copy under a temporary name (or none at all) in the target
// folder and links it to its final name only once it is complete, so a
// failure, a full disk or a crash never leaves a partial file behind, and an
// existing file is never replaced by accident.
PosixFileSystem::Outcome PosixFileSystem::CopyInto(const FolderRef& folder, const std::string& leaf,
                                                   const std::string& replacing,
                                                   const CopySource& source) {
  PendingCopy pending(folder, leaf, replacing);
  const Outcome created = CreatePending(pending, source.mode, replacing.empty());
  if (created != Outcome::kOk) return created;
  int error = FillPending(pending, source);
  if (error == 0) error = PlacePending(pending, !replacing.empty());
  return Settle(pending, error);
}

PosixFileSystem::Outcome PosixFileSystem::Settle(PendingCopy& pending, int error) {
  if (error != 0) return Discard(pending, error);
  names_.NoteAdded(*pending.folder.native, pending.finalName);
  lastCopySize_ = pending.copied;
  return Outcome::kOk;
}

PosixFileSystem::Outcome PosixFileSystem::CreatePending(PendingCopy& pending, mode_t wanted,
                                                        bool mayBeUnnamed) {
  const FolderRef& folder = pending.folder;
  pending.anonymous = options_.anonymousTemporary && mayBeUnnamed;
  if (pending.anonymous) {
    pending.modeSet = folder.held != nullptr && folder.held->CreatesExactly(wanted);
    pending.out.Reset(
        openat(folder.fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, pending.modeSet ? wanted : 0600));
    if (pending.out) return Outcome::kOk;
    const int error = errno;
    if (error != EOPNOTSUPP && error != EISDIR && error != EINVAL) {
      if (HeldFolderReplaced(folder, error)) return Outcome::kStale;
      return OutcomeOf(FailErrno(error, Location::In(*folder.native, pending.leaf)));
    }
    pending.anonymous = false;
    pending.modeSet = false;
  }
  // A leading "." keeps a half-written copy out of any folder walk.
  pending.out.Reset(CreateTemporaryIn(*folder.native, 0600, pending.temporary));
  if (!pending.out) return OutcomeOf(FailErrno(errno, Location::In(*folder.native, pending.leaf)));
  return Outcome::kOk;
}

int PosixFileSystem::FillPending(PendingCopy& pending, const CopySource& source) {
  const std::string& folder = *pending.folder.native;
  // Where a reflink was refused, it is not tried again for the same pair of
  // disks (source device, target folder) file after file.
  const bool tryClone =
      options_.clone && !(noCloneDevice_ == source.device && noCloneFolder_ == folder);
  const DataMoved moved =
      CopyData(source, pending.out.get(), tryClone, options_.copyFileRange, onBytes_, buffer_);
  if (moved.error != 0) return moved.error;
  if (moved.cloneRefused) {
    noCloneDevice_ = source.device;
    noCloneFolder_ = folder;
  }
  cloned_ = moved.cloned;
  pending.copied = moved.bytes;
  if (!pending.modeSet && fchmod(pending.out.get(), source.mode) != 0) return errno;
  return futimens(pending.out.get(), source.times) != 0 ? errno : 0;
}

int PosixFileSystem::PlacePending(PendingCopy& pending, bool replacing) {
  const FolderRef& folder = pending.folder;
  if (pending.anonymous) return LinkUnnamed(pending.out.get(), folder.fd, pending.finalName);
  const std::string finalPath = JoinNative(*folder.native, pending.finalName);
  const char* temporary = pending.temporary.c_str();
  if (close(pending.out.Release()) != 0) return errno;
  if (replacing) return rename(temporary, finalPath.c_str()) != 0 ? errno : 0;
  if (link(temporary, finalPath.c_str()) == 0) {
    unlink(temporary);
    return 0;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return errno;
  // A file system without hard links: a rename that refuses to replace.
  return renameat2(AT_FDCWD, temporary, AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) != 0 ? errno
                                                                                            : 0;
}

PosixFileSystem::Outcome PosixFileSystem::Discard(PendingCopy& pending, int error) {
  const FolderRef& folder = pending.folder;
  pending.out.Reset();
  if (!pending.temporary.empty()) unlink(pending.temporary.c_str());
  if (HeldFolderReplaced(folder, error)) return Outcome::kStale;
  if (error == EEXIST) names_.NoteAdded(*folder.native, pending.finalName);
  return OutcomeOf(FailErrno(error, Location::In(*folder.native, pending.leaf)));
}

// A failure in a folder held open may mean it was removed or replaced
// meanwhile (a removed folder refuses new files with ENOENT or EPERM).
bool PosixFileSystem::HeldFolderReplaced(const FolderRef& folder, int error) {
  return error != EEXIST && error != ENOSPC && folder.held != nullptr && IsStale(*folder.held);
}

// Reflink first (no data moves at all, holes kept), then, for a file with
// holes, its data extents alone; else copy_file_range (the kernel copies,
// possibly offloaded), then a plain read/write loop. A whole file's `size` is
// its size when opened: the medium does not change while a kit is built, so
// no call is spent to find its end. A stretch or a stream must give exactly
// its size: less means the image ends before the file does.
PosixFileSystem::DataMoved PosixFileSystem::CopyData(const CopySource& from, int to, bool tryClone,
                                                     bool useRange,
                                                     const platform::ByteListener& onBytes,
                                                     std::vector<char>& buffer) {
  DataMoved moved;
  Transfer transfer{to, onBytes};
  // Sizes of 0 go to the plain loop: some files report 0 and hold data.
  if (from.WholeFile() && tryClone && from.size > 0) {
    if (ioctl(to, FICLONE, from.fd) == 0) {
      transfer.Moved(from.size);
      moved.bytes = from.size;
      moved.cloned = true;
      return moved;
    }
    if (!IsUnsupported(errno)) {
      moved.error = errno;
      return moved;
    }
    moved.cloneRefused = true;
  }
  if (from.WholeFile() && from.size > 0 && from.blocks * 512 < from.size) {
    // Fewer blocks than its size needs: the file has holes.
    moved.error = CopyExtents(from.fd, transfer, from.size, useRange, buffer);
    moved.bytes = from.size;
    return moved;
  }
  const loff_t start = static_cast<loff_t>(from.offset);
  if (from.stream == nullptr && useRange && from.size > 0) {
    moved.error = CopyRange(from.fd, from.stretch ? &start : nullptr, transfer, from.size);
  }
  if (moved.error == 0 && (from.size == 0 || transfer.copied != from.size)) {
    moved.error = CopyByBuffer(
        [&](char* buffer, size_t size) -> ssize_t {
          if (from.stream != nullptr) return from.stream->Read(buffer, size);
          if (!from.stretch) return read(from.fd, buffer, size);
          const size_t wanted = std::min<uint64_t>(size, from.size - transfer.copied);
          return wanted == 0
                     ? 0
                     : pread(from.fd, buffer, wanted, start + static_cast<loff_t>(transfer.copied));
        },
        transfer, kToTheEnd, buffer);
  }
  moved.bytes = transfer.copied;
  if (moved.error == 0 && !from.WholeFile() && moved.bytes != from.size) moved.error = EIO;
  return moved;
}

}  // namespace vostrel::posix
