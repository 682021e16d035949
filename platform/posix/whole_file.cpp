// platform/whole_file.h on Linux: a pending file in the target's folder
// (platform/posix/pending_file.h), fsync, then linked or renamed into place. Also where an
// output a person names goes, and the writer into a stream.
#include <fcntl.h>
#include <linux/fs.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/windows_path.h"
#include "platform/posix/end_signal.h"
#include "platform/posix/name_resolver.h"
#include "platform/posix/posix_whole_file.h"

namespace vostrel::posix {

namespace {

constexpr int kLinkHops = 40;               // as the kernel allows
constexpr long kCaseFoldFlag = 0x40000000;  // FS_CASEFOLD_FL, which older headers lack
// How long a wait on a stream goes before it looks for a signal again.
constexpr int kWaitMs = 100;

bool Succeeded(int code, std::string& error) {
  if (code != 0) error = std::strerror(code);
  return code == 0;
}

std::string FolderPart(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

// Writes into a stream as it is: standard output, a device, a FIFO.
class StreamFile : public platform::WholeFile {
 public:
  StreamFile(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~StreamFile() override {
    if (owned_ && fd_ >= 0) close(fd_);
  }
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;

  // A reader that does not read (a full pipe) must not hold the run past a
  // signal: each write waits for room first, and takes no more than a pipe
  // takes at once when it has room, so it never blocks.
  bool Write(const char* data, std::size_t size, std::string& error) override {
    while (size > 0) {
      struct pollfd wait = {fd_, POLLOUT, 0};
      if (EndSignalNoted()) return Succeeded(EINTR, error);
      const int ready = poll(&wait, 1, kWaitMs);
      if (ready < 0 && errno != EINTR) return Succeeded(errno, error);
      if (ready <= 0) continue;
      const ssize_t put = write(fd_, data, std::min<std::size_t>(size, PIPE_BUF));
      if (put < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (put <= 0) return Succeeded(put < 0 ? errno : ENOSPC, error);
      data += put;
      size -= static_cast<std::size_t>(put);
    }
    return true;
  }
  bool Commit(std::string& error) override {
    if (!owned_) return true;
    const int fd = fd_;
    fd_ = -1;
    return Succeeded(close(fd) == 0 ? 0 : errno, error);
  }

 private:
  int fd_;
  bool owned_;
};

// Where a chain of links that starts at `path` ends, whether or not that
// exists. Left as it is when it is no link or the chain is a loop.
std::string FollowLinks(const std::string& path) {
  std::string at = path;
  for (int hop = 0; hop < kLinkHops; ++hop) {
    char target[PATH_MAX];
    const ssize_t length = readlink(at.c_str(), target, sizeof target - 1);
    if (length < 0) return at;
    target[length] = '\0';
    at = target[0] == '/' ? std::string(target) : FolderPart(at) + target;
  }
  return path;
}

// Opens a device or a FIFO for writing. A FIFO with no reader would block
// the open until one comes, past any signal: it is opened without waiting,
// again every tenth of a second, until a reader is there or a signal ends
// the wait. -1 with errno.
int OpenStream(const std::string& path) {
  for (;;) {
    const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) return fd;
    if (errno != ENXIO) return -1;  // ENXIO: a FIFO that no one reads yet
    if (EndSignalNoted()) {
      errno = EINTR;
      return -1;
    }
    poll(nullptr, 0, kWaitMs);
  }
}

FolderId IdOf(const struct stat& status) {
  return FolderId{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

void Identify(const struct stat& status, platform::OutputTarget& target) {
  target.identities.push_back(IdOf(status));
  target.exists = true;
}

// The identities of the folder `real` (no links in it) and of each folder
// above it: a bind mount or a link reaches the same ones as the name it
// stands for.
void IdentifyUp(std::string at, platform::OutputTarget& target) {
  struct stat status;
  for (;;) {
    if (at.empty()) at = "/";
    if (stat(at.c_str(), &status) != 0) return;
    target.identities.push_back(IdOf(status));
    if (at == "/") return;
    at.erase(at.rfind('/'));
  }
}

// An existing item an output names: what it is, and its identities.
platform::OutputTarget ExistingOutput(const std::string& path, const struct stat& status) {
  using Kind = platform::OutputTarget::Kind;
  Kind kind = Kind::kFile;
  if (S_ISDIR(status.st_mode)) kind = Kind::kFolder;
  if (S_ISBLK(status.st_mode)) kind = Kind::kBlockDevice;
  if (S_ISSOCK(status.st_mode)) kind = Kind::kSocket;
  if (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode)) kind = Kind::kStream;
  const std::string real = RealPath(path);
  platform::OutputTarget target{kind, path, kind == Kind::kStream ? real : std::string()};
  Identify(status, target);
  if (!real.empty()) IdentifyUp(real.substr(0, real.rfind('/')), target);
  return target;
}

// Whether the disk of the folder `real` finds names without regard to case:
// the FAT family, exFAT, SMB shares, or a folder marked to fold case.
bool IgnoresCase(const std::string& real) {
  struct statfs disk;
  if (statfs(real.c_str(), &disk) == 0) {
    switch (static_cast<unsigned long>(disk.f_type)) {
      case 0x4d44UL:      // FAT
      case 0x2011BAB0UL:  // exFAT
      case 0xFF534D42UL:  // CIFS
      case 0xFE534D42UL:  // SMB2
        return true;
      default:
        break;
    }
  }
  const int fd = open(real.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  const bool folded = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & kCaseFoldFlag) != 0;
  close(fd);
  return folded;
}

}  // namespace

int PosixWholeFile::Open(const std::string& path, const Keep& keep) {
  keep_ = keep;
  const std::string folder = FolderPart(path);
  name_ = path.substr(folder.size());
  // A new file gets 0666 less the umask from open itself; a replacement
  // starts private and takes the replaced file's mode when it is put in place.
  const mode_t mode = keep.modeAndOwner ? 0600 : 0666;
  // Unnamed where the file system has such files: a kill then leaves nothing.
  int error = file_.CreateUnnamed(AT_FDCWD, folder, mode);
  if (PendingFile::NoUnnamedFiles(error)) error = file_.CreateNamed(folder, mode);
  return error;
}

int PosixWholeFile::Append(const char* data, std::size_t size) {
  if (file_.fd() < 0) return EBADF;
  return WriteAll(file_.fd(), data, size) ? 0 : Discard(errno);
}

int PosixWholeFile::Finish() {
  const int fd = file_.fd();
  if (fd < 0) return EBADF;
  if (keep_.modeAndOwner) {
    // Keep the owner where we may (root may), then the mode: a change of
    // owner clears set-id bits, so the mode comes last.
    if (keep_.owner != geteuid() || keep_.group != getegid()) {
      (void)!fchown(fd, keep_.owner, keep_.group);
    }
    if (fchmod(fd, keep_.mode & 07777) != 0) return Discard(errno);
  }
  if (const int error = file_.Flush()) return Discard(error);
  // An unnamed file takes a new name directly; one that replaces a file
  // takes its place in one rename.
  if (!keep_.modeAndOwner && file_.Unnamed() && file_.Place(name_) == 0) return 0;
  // The folder is not flushed as well: after a crash the name holds the old
  // or the new file, whole either way, and no copy of the kit is flushed
  // either. Flushing the folder too cost every file a second wait for the
  // disk.
  return Discard(file_.Replace(name_));
}

int PosixWholeFile::Discard(int error) {
  file_.Drop();
  return error;
}

bool PosixWholeFile::Write(const char* data, std::size_t size, std::string& error) {
  return Succeeded(Append(data, size), error);
}

bool PosixWholeFile::Commit(std::string& error) { return Succeeded(Finish(), error); }

}  // namespace vostrel::posix

namespace vostrel::platform {

std::FILE* OpenForReading(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

std::unique_ptr<WholeFile> BeginWholeFile(const std::string& path, std::string& error) {
  auto file = std::make_unique<posix::PosixWholeFile>();
  if (!posix::Succeeded(file->Open(path, posix::PosixWholeFile::Keep()), error)) return nullptr;
  return file;
}

std::unique_ptr<WholeFile> BeginStream(const std::string& path, std::string& error) {
  if (path == "-") return std::make_unique<posix::StreamFile>(STDOUT_FILENO, false);
  const int fd = posix::OpenStream(path);
  // What was a device or a pipe when it was judged must be one still: a
  // file is never written over in place.
  struct stat status;
  if (fd >= 0 && fstat(fd, &status) == 0 && (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode))) {
    return std::make_unique<posix::StreamFile>(fd, true);
  }
  error = fd < 0 ? std::strerror(errno) : "it is no longer a device or a pipe";
  if (fd >= 0) close(fd);
  return nullptr;
}

OutputTarget LocateOutput(const std::string& path) {
  using Kind = OutputTarget::Kind;
  struct stat status;
  if (path == "-") {
    OutputTarget target{Kind::kStream, path};
    if (fstat(STDOUT_FILENO, &status) == 0) posix::Identify(status, target);
    return target;
  }
  if (stat(path.c_str(), &status) == 0) {
    OutputTarget target = posix::ExistingOutput(path, status);
    if (target.kind != Kind::kFile) return target;
  }
  const std::string file = posix::FollowLinks(path);
  // A Linux name may hold '\': only '/' separates here.
  const std::string name = winpath::LastName(file, false);
  std::string folder = winpath::ParentOf(file, false);
  if (folder.empty()) folder = file.find('/') == 0 ? "/" : ".";
  const std::string resolved = posix::RealPath(folder);
  if (resolved.empty() || name.empty() || stat(resolved.c_str(), &status) != 0 ||
      !S_ISDIR(status.st_mode)) {
    return OutputTarget{Kind::kNoFolder, folder};
  }
  if (access(resolved.c_str(), W_OK | X_OK) != 0) {
    OutputTarget target{Kind::kFolderReadOnly, resolved};
    posix::IdentifyUp(resolved, target);
    return target;
  }
  const std::string place = posix::JoinNative(resolved, name);
  OutputTarget target{Kind::kFile, place, place};
  if (stat(place.c_str(), &status) == 0) posix::Identify(status, target);
  posix::IdentifyUp(resolved, target);
  target.name = name;
  target.caseless = posix::IgnoresCase(resolved);
  return target;
}

}  // namespace vostrel::platform
