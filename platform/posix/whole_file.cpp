// platform/whole_file.h on Linux: a hidden temporary beside the target,
// fsync, then rename over it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/posix_whole_file.h"

#include "platform/posix/name_resolver.h"

namespace vostrel::posix {

namespace {

constexpr int kAttempts = 100;

bool Succeeded(int code, std::string& error) {
  if (code != 0) error = std::strerror(code);
  return code == 0;
}

}  // namespace

int CreateTemporaryIn(const std::string& folder, mode_t mode, std::string& temporary) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    temporary = JoinNative(folder, platform::TemporaryName());
    const int fd =
        open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = write(fd, data, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (put == 0) {
      errno = ENOSPC;
      return false;
    }
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

PosixWholeFile::~PosixWholeFile() {
  if (fd_ >= 0) Discard(0);
}

int PosixWholeFile::Open(const std::string& path, const Keep& keep) {
  path_ = path;
  keep_ = keep;
  // A new file gets 0666 less the umask from open itself; a replacement
  // starts private and takes the replaced file's mode when it is put in place.
  fd_ = CreateTemporaryIn(path.substr(0, path.rfind('/') + 1), keep.modeAndOwner ? 0600 : 0666,
                          temporary_);
  return fd_ >= 0 ? 0 : errno;
}

int PosixWholeFile::Append(const char* data, std::size_t size) {
  if (fd_ < 0) return EBADF;
  return WriteAll(fd_, data, size) ? 0 : Discard(errno);
}

int PosixWholeFile::Finish() {
  if (fd_ < 0) return EBADF;
  if (keep_.modeAndOwner) {
    // Keep the owner where we may (root may), then the mode: a change of
    // owner clears set-id bits, so the mode comes last.
    if (keep_.owner != geteuid() || keep_.group != getegid()) {
      (void)!fchown(fd_, keep_.owner, keep_.group);
    }
    if (fchmod(fd_, keep_.mode & 07777) != 0) return Discard(errno);
  }
  if (fsync(fd_) != 0) return Discard(errno);
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0 || rename(temporary_.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    unlink(temporary_.c_str());
    return error;
  }
  // The folder is not flushed as well: after a crash the name holds the old
  // or the new file, whole either way, and no copy of the kit is flushed
  // either. Flushing the folder too cost every file a second wait for the
  // disk.
  return 0;
}

int PosixWholeFile::Discard(int error) {
  close(fd_);
  fd_ = -1;
  unlink(temporary_.c_str());
  return error;
}

bool PosixWholeFile::Write(const char* data, std::size_t size, std::string& error) {
  return Succeeded(Append(data, size), error);
}

bool PosixWholeFile::Commit(std::string& error) { return Succeeded(Finish(), error); }

}  // namespace vostrel::posix

namespace vostrel::platform {

std::unique_ptr<WholeFile> BeginWholeFile(const std::string& path, std::string& error) {
  auto file = std::make_unique<posix::PosixWholeFile>();
  if (!posix::Succeeded(file->Open(path, posix::PosixWholeFile::Keep()), error)) return nullptr;
  return file;
}

}  // namespace vostrel::platform
