#include "platform/posix/pending_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/name_resolver.h"
#include "platform/whole_file.h"

namespace vostrel::posix {

namespace {

// Fresh temporary names tried before giving up: a name is taken only by
// another of our own temporaries, and those are rare and short-lived.
constexpr int kAttempts = 100;

// Gives an unnamed file the name `name` in the folder `folderFd` (AT_FDCWD:
// `name` is a path); 0 or errno (EEXIST when the name is taken).
int LinkUnnamed(int fd, int folderFd, const std::string& name) {
  // Linking a descriptor directly needs a privilege; its /proc name does not.
  int linked = linkat(fd, "", folderFd, name.c_str(), AT_EMPTY_PATH);
  if (linked != 0 && (errno == ENOENT || errno == EPERM)) {
    char procPath[48];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd);
    linked = linkat(AT_FDCWD, procPath, folderFd, name.c_str(), AT_SYMLINK_FOLLOW);
  }
  return linked != 0 ? errno : 0;
}

}  // namespace

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

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
  if (this == &other) return *this;
  Drop();
  fd_ = other.fd_;
  folderFd_ = other.folderFd_;
  folder_ = std::move(other.folder_);
  temporary_ = std::move(other.temporary_);
  other.fd_ = -1;
  other.temporary_.clear();
  return *this;
}

bool PendingFile::NoUnnamedFiles(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

int PendingFile::CreateUnnamed(int folderFd, const std::string& folder, mode_t mode) {
  Drop();
  folderFd_ = folderFd;
  folder_ = folder;
  const std::string openable = folderFd == AT_FDCWD ? OpenableFolder(folder) : ".";
  fd_ = openat(folderFd, openable.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  return fd_ >= 0 ? 0 : errno;
}

int PendingFile::CreateNamed(const std::string& folder, mode_t mode) {
  Drop();
  folderFd_ = AT_FDCWD;
  folder_ = folder;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // A leading "." keeps a half-written file out of any folder walk.
    temporary_ = JoinNative(folder, platform::TemporaryName());
    fd_ = open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ >= 0) return 0;
  const int error = errno;
  temporary_.clear();  // not ours to remove
  return error;
}

void PendingFile::Refer(int folderFd, const std::string& folder) {
  folderFd_ = folderFd;
  folder_ = folder;
}

std::string PendingFile::At(const std::string& name) const {
  return folderFd_ == AT_FDCWD ? JoinNative(folder_, name) : name;
}

int PendingFile::Flush() { return fsync(fd_) != 0 ? errno : 0; }

int PendingFile::CloseNamed() {
  const int fd = fd_;
  fd_ = -1;
  return fd >= 0 && close(fd) != 0 ? errno : 0;
}

int PendingFile::Place(const std::string& name) {
  if (fd_ < 0 && temporary_.empty()) return EBADF;
  if (temporary_.empty()) {
    const int error = LinkUnnamed(fd_, folderFd_, At(name));
    if (error == 0) Drop();
    return error;
  }
  if (const int error = CloseNamed()) return error;
  const std::string target = At(name);
  if (linkat(AT_FDCWD, temporary_.c_str(), folderFd_, target.c_str(), 0) == 0) {
    Drop();
    return 0;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return errno;
  // A file system without hard links: a rename that refuses to replace.
  if (renameat2(AT_FDCWD, temporary_.c_str(), folderFd_, target.c_str(), RENAME_NOREPLACE) != 0) {
    return errno;
  }
  temporary_.clear();
  return 0;
}

int PendingFile::Replace(const std::string& name) {
  if (fd_ < 0 && temporary_.empty()) return EBADF;
  // An unnamed file has a hidden name for the instant before the rename.
  for (int attempt = 0; temporary_.empty() && attempt < kAttempts; ++attempt) {
    std::string temporary = JoinNative(folder_, platform::TemporaryName());
    const int error = LinkUnnamed(fd_, AT_FDCWD, temporary);
    if (error == 0) temporary_ = std::move(temporary);
    if (error != 0 && error != EEXIST) return error;
  }
  if (temporary_.empty()) return EEXIST;
  if (const int error = CloseNamed()) return error;
  if (renameat(AT_FDCWD, temporary_.c_str(), folderFd_, At(name).c_str()) != 0) return errno;
  temporary_.clear();
  return 0;
}

void PendingFile::Drop() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
}

}  // namespace vostrel::posix
