// What posix_file_system.cpp and posix_copy.cpp share inside PosixFileSystem:
// owned descriptors, a located item, a folder held open, and the probe for an
// existing item under any case.
#pragma once

#ifndef VOSTREL_POSIX_LAYER
#error "platform/posix/posix_internal.h is private to the POSIX layer: include platform/*.h"
#endif

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/posix/name_resolver.h"
#include "platform/posix/posix_file_system.h"

namespace vostrel::posix {

constexpr mode_t kPermissionBits = 0777;

// Windows reads a file as read-only when its owner cannot write it. We run
// as root, whom the kernel lets write anyway, so the bit is checked here.
inline bool IsReadOnly(mode_t mode) { return (mode & S_IWUSR) == 0; }

// Whether a file created asking for `wanted` gets exactly those bits where
// new files lose `createMask` (negative: not known).
inline bool CreatesExactly(int createMask, mode_t wanted) {
  return createMask >= 0 && (wanted & static_cast<mode_t>(createMask)) == 0;
}

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

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
  // umask's place), so that the copy needs no chmod of its own. `umaskBits`:
  // the process's umask (negative: not known); the folder's default ACL is
  // looked for at the first copy into it.
  bool CreatesExactly(mode_t wanted, int umaskBits) {
    return posix::CreatesExactly(CreateMask(umaskBits), wanted);
  }
  // The permission bits a file created here loses; negative when not known.
  int CreateMask(int umaskBits) {
    if (createMask == kUnread) createMask = ReadCreateMask(umaskBits);
    return createMask;
  }

  // Whether this is the folder `device` and `inode` name: those of the
  // descriptor, which never change, read once.
  bool Is(dev_t device, ino_t inode) {
    if (!identified) {
      struct stat status;
      if (fstat(fd, &status) != 0) return false;
      knownDevice = status.st_dev;
      knownInode = status.st_ino;
      identified = true;
    }
    return knownDevice == device && knownInode == inode;
  }

  // Where the folder is, as the kernel names its descriptor, read at the
  // first question: a run never moves the folders it writes into, and each
  // is opened afresh once forgotten. Empty when it cannot be said.
  const std::string& Where() {
    if (!located) {
      where = NameOfOpen(fd);
      located = true;
    }
    return where;
  }

  std::string given;   // the path before the item's name, as the engine wrote it
  std::string native;  // the folder on disk
  int fd;              // O_PATH descriptor of it

 private:
  static constexpr int kUnread = -1;
  static constexpr int kUnknown = -2;

  int ReadCreateMask(int umaskBits) const;

  int createMask = kUnread;
  bool identified = false;
  bool located = false;
  std::string where;
  dev_t knownDevice = 0;
  ino_t knownInode = 0;
};

// Tries the name as given first (one system call, no folder scan); only when
// nothing has that exact name is the folder's case variant looked up.
template <typename Probe>
inline int PosixFileSystem::ProbeExisting(Location& location, Probe probe) {
  int error = probe(location.Native());
  if (error != ENOENT || location.leaf.empty() || !location.folderFound) return error;
  std::string spelling;
  if (!names_.Lookup(location.folder, location.leaf, spelling) || spelling == location.leaf) {
    return error;
  }
  location.leaf = spelling;
  return probe(location.Native());
}

}  // namespace vostrel::posix
