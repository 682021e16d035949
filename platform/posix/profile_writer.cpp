#include "platform/posix/profile_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>

#include "engine/file_system.h"
#include "engine/profile_text.h"
#include "platform/posix/win32_errors.h"

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

bool ReadAll(int fd, std::string& content) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.append(buffer, static_cast<size_t>(got));
  }
}

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t put = write(fd, content.data() + done, content.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (put == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(put);
  }
  return true;
}

// A name for the replacement beside the file, hidden and unlikely to clash;
// the caller retries when it does.
std::string TemporaryName(const std::string& folder, const std::string& name) {
  static std::atomic<unsigned long> counter{0};
  const auto now =
      static_cast<unsigned long>(std::chrono::steady_clock::now().time_since_epoch().count());
  const unsigned long mix = now ^ (static_cast<unsigned long>(getpid()) << 16) ^ (++counter * 7919);
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix;
  for (unsigned long rest = mix; suffix.size() < 8; rest /= 36)
    suffix.push_back(kDigits[rest % 36]);
  // Room for the suffix within the 255 bytes a name may have.
  return folder + "/." + name.substr(0, 200) + "." + suffix + ".tmp";
}

}  // namespace

bool WriteProfileFile(const std::string& nativePath, const std::string& section,
                      const std::string& key, const std::string& value, unsigned long& win32Error) {
  if (!IsWritableProfileEntry(section, key, value)) {
    return Fail(win32_error::kInvalidParameter, win32Error);
  }
  const size_t slash = nativePath.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string(".")
                             : slash == 0               ? std::string("/")
                                                        : nativePath.substr(0, slash);
  const std::string name = slash == std::string::npos ? nativePath : nativePath.substr(slash + 1);

  struct stat original {};
  bool exists = false;
  if (lstat(nativePath.c_str(), &original) == 0) {
    // Only a plain file is edited: never a folder, and never through a link,
    // whose target may lie outside the kit.
    if (!S_ISREG(original.st_mode)) return Fail(win32_error::kAccessDenied, win32Error);
    // We may run as root, for whom the kernel ignores the mode: a read-only
    // file is refused here, as Windows refuses it.
    if ((original.st_mode & S_IWUSR) == 0) return Fail(win32_error::kAccessDenied, win32Error);
    exists = true;
  } else if (errno != ENOENT) {
    return Fail(Win32ErrorFor(errno), win32Error);
  } else if (name.empty()) {
    return Fail(win32_error::kPathNotFound, win32Error);
  } else {
    struct stat parent {};
    if (stat(folder.c_str(), &parent) != 0) return Fail(Win32ErrorFor(errno), win32Error);
    if (!S_ISDIR(parent.st_mode)) return Fail(win32_error::kPathNotFound, win32Error);
  }

  std::string content;
  if (exists) {
    // O_NONBLOCK: should the name have become a pipe meanwhile, never wait on it.
    const int fd = open(nativePath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(Win32ErrorFor(errno), win32Error);
    struct stat opened {};
    const bool same = fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode);
    const bool readOk = same && ReadAll(fd, content);
    const int readError = errno;
    close(fd);
    if (!same) return Fail(win32_error::kAccessDenied, win32Error);
    if (!readOk) return Fail(Win32ErrorFor(readError), win32Error);
  }

  const std::string updated = EditProfile(content, exists, section, key, value);
  if (exists && updated == content) {
    win32Error = win32_error::kSuccess;
    return true;
  }

  // The new bytes go to a hidden file beside the original and take its place
  // in one rename, so a failure at any point leaves the original as it was.
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = TemporaryName(folder, name);
    // A new file gets 0666 less the umask from open itself; a replacement
    // starts private and takes the original's mode below.
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
              exists ? 0600 : 0666);
    if (fd < 0 && errno != EEXIST) return Fail(Win32ErrorFor(errno), win32Error);
  }
  if (fd < 0) return Fail(win32_error::kGenFailure, win32Error);

  bool ok = WriteAll(fd, updated);
  if (ok && exists) {
    // Keep the owner where we may (root may), then the mode: a change of
    // owner clears set-id bits, so the mode comes last.
    if (original.st_uid != geteuid() || original.st_gid != getegid()) {
      (void)!fchown(fd, original.st_uid, original.st_gid);
    }
    ok = fchmod(fd, original.st_mode & 07777) == 0;
  }
  ok = ok && fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temporary.c_str(), nativePath.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(temporary.c_str());
    return Fail(Win32ErrorFor(error), win32Error);
  }
  // The folder is not flushed as well: after a crash the name holds the old
  // or the new file, whole either way, and no copy of the kit is flushed
  // either. Flushing the folder too cost every entry a second wait for the
  // disk.
  win32Error = win32_error::kSuccess;
  return true;
}

}  // namespace vostrel::posix
