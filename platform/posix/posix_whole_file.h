// The whole-file writer of platform/whole_file.h on Linux, a pending file
// with errno results for the callers that speak in Win32 codes (the profile
// writer).
#pragma once

#ifndef VOSTREL_POSIX_LAYER
#error "platform/posix/posix_whole_file.h is private to the POSIX layer: include platform/*.h"
#endif

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/posix/pending_file.h"
#include "platform/whole_file.h"

namespace vostrel::posix {

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

  std::string name_;  // in the file's folder
  Keep keep_;
  PendingFile file_;
};

}  // namespace vostrel::posix
