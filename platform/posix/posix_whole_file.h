// The whole-file writer of platform/whole_file.h on Linux, with errno results
// for the callers that speak in Win32 codes (the profile writer), the one way
// the POSIX layer makes a named temporary and the one way it names an
// unnamed file.
#pragma once

#ifndef VOSTREL_POSIX_LAYER
#error "platform/posix/posix_whole_file.h is private to the POSIX layer: include platform/*.h"
#endif

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/whole_file.h"

namespace vostrel::posix {

// Creates a new hidden temporary in a native folder ("" for the current
// one), under a fresh name until one is free. Its descriptor, and its path
// in `temporary`; -1 with errno on failure.
int CreateTemporaryIn(const std::string& folder, mode_t mode, std::string& temporary);

// Writes all of `data`; false with errno (ENOSPC for a write that takes nothing).
bool WriteAll(int fd, const char* data, std::size_t size);

// Gives an unnamed (O_TMPFILE) file the name `name` in the folder `folderFd`
// (AT_FDCWD: `name` is a path); 0 or errno (EEXIST when the name is taken).
int LinkUnnamed(int fd, int folderFd, const std::string& name);

class PosixWholeFile : public platform::WholeFile {
 public:
  // What the file is made with: a new file 0666 less the umask, or a
  // replacement keeping the mode and owner the replaced file had.
  struct Keep {
    bool modeAndOwner = false;
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
  };

  PosixWholeFile() = default;
  ~PosixWholeFile() override;
  PosixWholeFile(const PosixWholeFile&) = delete;
  PosixWholeFile& operator=(const PosixWholeFile&) = delete;

  // Each returns 0 or the errno that ended it; after a failure the temporary
  // is gone.
  int Open(const std::string& path, const Keep& keep);
  int Append(const char* data, std::size_t size);
  int Finish();

  bool Write(const char* data, std::size_t size, std::string& error) override;
  bool Commit(std::string& error) override;

 private:
  int Discard(int error);

  std::string path_;
  std::string temporary_;
  Keep keep_;
  int fd_ = -1;
};

}  // namespace vostrel::posix
