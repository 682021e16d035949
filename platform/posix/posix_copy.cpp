// The copy path of PosixFileSystem: folders held open, the source opened by
// name under any case, the copy written as a pending file (pending_file.h)
// and put in place only when whole, its data moved by data_mover.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/windows_path.h"
#include "platform/posix/pending_file.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/win32_errors.h"

namespace vostrel::posix {

namespace {

namespace code = win32_error;

// Folders held open: the source and destination of the walk level being
// copied, and of the level above it, which the walk comes back to.
constexpr size_t kOpenFolders = 4;

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

// One copy while it is written, and where it goes.
struct PosixFileSystem::PendingCopy {
  PendingCopy(const FolderRef& in, const std::string& asked, const std::string& replacing)
      : folder(in),
        leaf(asked),
        finalName(replacing.empty() ? asked : replacing),
        replaces(!replacing.empty()) {}

  const FolderRef& folder;
  const std::string& leaf;  // the name asked for
  std::string finalName;    // the name it takes: `leaf`, or the spelling it replaces
  bool replaces;
  PendingFile file;
  bool modeSet = false;  // created with the copy's permission bits already
  uint64_t copied = 0;
};

int PosixFileSystem::OpenFolder::ReadCreateMask(int umaskBits) const {
  if (umaskBits < 0 ||
      getxattr(OpenableFolder(native).c_str(), "system.posix_acl_default", nullptr, 0) >= 0) {
    return kUnknown;
  }
  return umaskBits;
}

int PosixFileSystem::UmaskBits() {
  // Read without changing it, once: a run never changes its umask.
  if (umaskBits_ != kUmaskUnread) return umaskBits_;
  umaskBits_ = -1;
  FILE* status = std::fopen("/proc/self/status", "re");
  if (status == nullptr) return umaskBits_;
  char line[128];
  while (std::fgets(line, sizeof line, status) != nullptr) {
    unsigned value = 0;
    if (std::sscanf(line, "Umask: %o", &value) == 1) {
      umaskBits_ = static_cast<int>(value & kPermissionBits);
      break;
    }
  }
  std::fclose(status);
  return umaskBits_;
}

PosixFileSystem::OpenFolder* PosixFileSystem::FolderOf(const std::string& path, std::string& leaf) {
  const size_t cut = winpath::LastSeparator(path);
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
  return TriedAgainWhenStale([&] { return CopyThroughFolders(existing, target, failIfExists); });
}

int PosixFileSystem::DuplicateFolderOf(const std::string& path, int* createMask) {
  std::string leaf;
  OpenFolder* folder = FolderOf(path, leaf);
  if (folder == nullptr) return -1;
  const int fd = fcntl(folder->fd, F_DUPFD_CLOEXEC, 0);
  if (createMask != nullptr) *createMask = folder->CreateMask(UmaskBits());
  return fd;
}

PosixFileSystem::Placed PosixFileSystem::PlaceMadeAhead(const std::string& target,
                                                        PendingFile& file, uint64_t bytes,
                                                        dev_t device, ino_t inode) {
  FolderRef folder;
  std::string name;
  struct stat now;
  if (!OpenTargetFolder(target, folder, name) ||
      !(folder.held != nullptr
            ? folder.held->Is(device, inode)
            : fstat(folder.fd, &now) == 0 && now.st_dev == device && now.st_ino == inode)) {
    return Placed::kNotPlaced;
  }
  std::string spelling;
  if (names_.Lookup(*folder.native, name, spelling)) {
    Fail(code::kFileExists);
    return Placed::kFailed;
  }
  PendingCopy pending(folder, name, "");
  pending.file = std::move(file);
  pending.file.Refer(folder.fd, *folder.native);
  pending.copied = bytes;
  const int error = pending.file.Place(name);
  if (error != 0 && error != EEXIST) return Placed::kNotPlaced;
  if (error == 0 && onBytes_) onBytes_(bytes);
  return Settle(pending, error) == Outcome::kOk ? Placed::kCopied : Placed::kFailed;
}

bool PosixFileSystem::CopyFromStream(const StreamedFile& file, const std::string& target,
                                     bool failIfExists) {
  const DataSource source = DataSource::OfStreamed(file);
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
  return CopyTo(target, failIfExists, DataSource::OfFile(in.get(), status));
}

PosixFileSystem::Outcome PosixFileSystem::CopyTo(const std::string& target, bool failIfExists,
                                                 const DataSource& source) {
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
    if (!source.Rewind()) return OutcomeOf(Fail(Win32FromErrno(errno)));
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

// Writes the copy as a pending file in the target folder and puts it in
// place only once it is complete, so a failure, a full disk or a crash never
// leaves a partial file behind, and an existing file is never replaced by
// accident.
PosixFileSystem::Outcome PosixFileSystem::CopyInto(const FolderRef& folder, const std::string& leaf,
                                                   const std::string& replacing,
                                                   const DataSource& source) {
  PendingCopy pending(folder, leaf, replacing);
  const Outcome created = CreatePending(pending, source.mode, replacing.empty());
  if (created != Outcome::kOk) return created;
  int error = FillPending(pending, source);
  if (error == 0) {
    error = pending.replaces ? pending.file.Replace(pending.finalName)
                             : pending.file.Place(pending.finalName);
  }
  return Settle(pending, error);
}

PosixFileSystem::Outcome PosixFileSystem::Settle(PendingCopy& pending, int error) {
  const FolderRef& folder = pending.folder;
  if (error == 0) {
    names_.NoteAdded(*folder.native, pending.finalName);
    lastCopySize_ = pending.copied;
    return Outcome::kOk;
  }
  pending.file.Drop();
  if (HeldFolderReplaced(folder, error)) return Outcome::kStale;
  if (error == EEXIST) names_.NoteAdded(*folder.native, pending.finalName);
  return OutcomeOf(FailErrno(error, Location::In(*folder.native, pending.leaf)));
}

PosixFileSystem::Outcome PosixFileSystem::CreatePending(PendingCopy& pending, mode_t wanted,
                                                        bool mayBeUnnamed) {
  const FolderRef& folder = pending.folder;
  if (options_.anonymousTemporary && mayBeUnnamed) {
    pending.modeSet = folder.held != nullptr && folder.held->CreatesExactly(wanted, UmaskBits());
    const int error =
        pending.file.CreateUnnamed(folder.fd, *folder.native, pending.modeSet ? wanted : 0600);
    if (error == 0) return Outcome::kOk;
    if (!PendingFile::NoUnnamedFiles(error)) {
      if (HeldFolderReplaced(folder, error)) return Outcome::kStale;
      return OutcomeOf(FailErrno(error, Location::In(*folder.native, pending.leaf)));
    }
    pending.modeSet = false;
  }
  const int error = pending.file.CreateNamed(*folder.native, 0600);
  if (error != 0) return OutcomeOf(FailErrno(error, Location::In(*folder.native, pending.leaf)));
  return Outcome::kOk;
}

int PosixFileSystem::FillPending(PendingCopy& pending, const DataSource& source) {
  const std::string& folder = *pending.folder.native;
  const int out = pending.file.fd();
  // Where a reflink was refused, it is not tried again for the same pair of
  // disks (source device, target folder) file after file.
  const bool tryClone =
      options_.clone && !(noCloneDevice_ == source.device && noCloneFolder_ == folder);
  const DataMoved moved =
      MoveData(source, out, tryClone, options_.copyFileRange, onBytes_, buffer_);
  if (moved.error != 0) return moved.error;
  if (moved.cloneRefused) {
    noCloneDevice_ = source.device;
    noCloneFolder_ = folder;
  }
  cloned_ = moved.cloned;
  pending.copied = moved.bytes;
  if (!pending.modeSet && fchmod(out, source.mode) != 0) return errno;
  return futimens(out, source.times) != 0 ? errno : 0;
}

// A failure in a folder held open may mean it was removed or replaced
// meanwhile (a removed folder refuses new files with ENOENT or EPERM).
bool PosixFileSystem::HeldFolderReplaced(const FolderRef& folder, int error) {
  return error != EEXIST && error != ENOSPC && folder.held != nullptr && IsStale(*folder.held);
}

}  // namespace vostrel::posix
