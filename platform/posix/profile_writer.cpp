#include "platform/posix/profile_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "engine/file_system.h"
#include "engine/profile_text.h"
#include "platform/posix/posix_whole_file.h"
#include "platform/posix/win32_errors.h"
#include "platform/whole_file.h"

namespace vostrel::posix {

namespace {

// A missing file is created, so "not found" here means its folder is missing.
unsigned long Win32ErrorFor(int error) {
  return error == ENOENT ? win32_error::kPathNotFound : Win32FromErrno(error);
}

bool Fail(unsigned long code, unsigned long& win32Error) {
  win32Error = code;
  return false;
}

// A setup-type file is small: its chunks need no more room than this.
constexpr size_t kChunk = 65536;

// The file's bytes into `content`; 0 or errno.
int ReadAll(int fd, std::string& content) {
  int error = 0;
  std::string unused;
  platform::ReadChunks(
      [fd, &error](char* buffer, size_t size, std::string&) -> long {
        ssize_t got;
        do {
          got = read(fd, buffer, size);
        } while (got < 0 && errno == EINTR);
        if (got < 0) error = errno;
        return static_cast<long>(got);
      },
      [&content](const char* data, size_t size) {
        content.append(data, size);
        return true;
      },
      unused, kChunk);
  return error;
}

// Whether the file may be edited: a plain writable file (`exists`), or none
// yet in a folder that is there.
bool CheckTarget(const std::string& nativePath, struct stat& original, bool& exists,
                 unsigned long& win32Error) {
  const size_t slash = nativePath.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string(".")
                             : slash == 0               ? std::string("/")
                                                        : nativePath.substr(0, slash);
  if (lstat(nativePath.c_str(), &original) == 0) {
    // Only a plain file is edited: never a folder, and never through a link,
    // whose target may lie outside the kit.
    if (!S_ISREG(original.st_mode)) return Fail(win32_error::kAccessDenied, win32Error);
    // We may run as root, for whom the kernel ignores the mode: a read-only
    // file is refused here, as Windows refuses it.
    if ((original.st_mode & S_IWUSR) == 0) return Fail(win32_error::kAccessDenied, win32Error);
    exists = true;
    return true;
  }
  if (errno != ENOENT) return Fail(Win32ErrorFor(errno), win32Error);
  if (slash + 1 == nativePath.size()) return Fail(win32_error::kPathNotFound, win32Error);
  struct stat parent {};
  if (stat(folder.c_str(), &parent) != 0) return Fail(Win32ErrorFor(errno), win32Error);
  if (!S_ISDIR(parent.st_mode)) return Fail(win32_error::kPathNotFound, win32Error);
  exists = false;
  return true;
}

bool ReadExisting(const std::string& nativePath, std::string& content, unsigned long& win32Error) {
  // O_NONBLOCK: should the name have become a pipe meanwhile, never wait on it.
  const int fd = open(nativePath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(Win32ErrorFor(errno), win32Error);
  struct stat opened {};
  const bool same = fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode);
  const int readError = same ? ReadAll(fd, content) : 0;
  close(fd);
  if (!same) return Fail(win32_error::kAccessDenied, win32Error);
  if (readError != 0) return Fail(Win32ErrorFor(readError), win32Error);
  return true;
}

}  // namespace

bool WriteProfileFile(const std::string& nativePath, const std::string& section,
                      const std::string& key, const std::string& value, unsigned long& win32Error) {
  if (!IsWritableProfileEntry(section, key, value)) {
    return Fail(win32_error::kInvalidParameter, win32Error);
  }
  struct stat original {};
  bool exists = false;
  std::string content;
  if (!CheckTarget(nativePath, original, exists, win32Error) ||
      (exists && !ReadExisting(nativePath, content, win32Error))) {
    return false;
  }
  const std::string updated = EditProfile(content, exists, section, key, value);
  if (exists && updated == content) {
    win32Error = win32_error::kSuccess;
    return true;
  }

  // The new bytes go to a hidden file beside the original and take its place
  // in one rename, so a failure at any point leaves the original as it was.
  PosixWholeFile file;
  PosixWholeFile::Keep keep;
  if (exists) keep = {true, original.st_mode, original.st_uid, original.st_gid};
  int error = file.Open(nativePath, keep);
  if (error == 0) error = file.Append(updated.data(), updated.size());
  if (error == 0) error = file.Finish();
  if (error != 0) return Fail(Win32ErrorFor(error), win32Error);
  win32Error = win32_error::kSuccess;
  return true;
}

}  // namespace vostrel::posix
