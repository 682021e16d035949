// A file written where no walk of its folder sees it and put under its name
// only once whole: unnamed (O_TMPFILE) where the file system has such files,
// else under a hidden temporary name. Every file the POSIX layer writes goes
// this way (a copy, a copy made ahead, a whole-file write), so no partial
// file ever stands under a final name, and a failure, an interruption or a
// kill leaves no entry behind (an unnamed file vanishes with its descriptor).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <utility>

namespace vostrel::posix {

// Writes all of `data`; false with errno (ENOSPC for a write that takes nothing).
bool WriteAll(int fd, const char* data, std::size_t size);

class PendingFile {
 public:
  PendingFile() = default;
  ~PendingFile() { Drop(); }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  PendingFile(PendingFile&& other) noexcept { *this = std::move(other); }
  PendingFile& operator=(PendingFile&& other) noexcept;

  // Whether `error`, from CreateUnnamed, means the folder's file system has
  // no unnamed files (a hidden temporary is then the way).
  static bool NoUnnamedFiles(int error);

  // Starts the file in `folder` (a native path, "" for the current folder),
  // open as `folderFd` (AT_FDCWD: by its path), with the permission bits
  // `mode` less the umask. Each returns 0 or an errno; the file is then
  // open for writing as fd().
  int CreateUnnamed(int folderFd, const std::string& folder, mode_t mode);
  int CreateNamed(const std::string& folder, mode_t mode);

  int fd() const { return fd_; }
  bool Unnamed() const { return fd_ >= 0 && temporary_.empty(); }
  // Names the folder the file is in by another descriptor and path (the
  // same folder, held open elsewhere), for placing it from there.
  void Refer(int folderFd, const std::string& folder);

  // fsync of the file; 0 or errno.
  int Flush();
  // Puts the file under `name` in its folder, never over an existing item
  // (EEXIST then); 0 or an errno, after which the file is still pending.
  int Place(const std::string& name);
  // Puts the file under `name` in its folder, replacing what stands there
  // in one rename; 0 or an errno.
  int Replace(const std::string& name);
  // Closes the file and removes its temporary name, if it has one.
  void Drop();

 private:
  // The path or, in the folder held open, the name of `name`.
  std::string At(const std::string& name) const;
  int CloseNamed();

  int fd_ = -1;
  int folderFd_ = -1;
  std::string folder_;
  std::string temporary_;  // the hidden temporary's path; empty for an unnamed file
};

}  // namespace vostrel::posix
