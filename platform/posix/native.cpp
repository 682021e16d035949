// The platform services of platform/native.h on Linux.
#include "platform/native.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "engine/windows_path.h"
#include "platform/disc_image.h"
#include "platform/posix/copies_ahead.h"
#include "platform/posix/medium_file_system.h"
#include "platform/posix/posix_file_system.h"

namespace fs = std::filesystem;

namespace vostrel::platform {

namespace {

class PosixFolderLock : public FolderLock {
 public:
  explicit PosixFolderLock(int fd = -1) : fd_(fd) {}
  ~PosixFolderLock() override {
    if (fd_ >= 0) close(fd_);  // the lock goes with the last descriptor
  }
  PosixFolderLock(const PosixFolderLock&) = delete;
  PosixFolderLock& operator=(const PosixFolderLock&) = delete;

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<NativeFileSystem> MakeNativeFileSystem(std::unique_ptr<OpenedImage> image) {
  // Only this layer's OpenImageSource makes them.
  std::unique_ptr<posix::OpenImage> medium(static_cast<posix::OpenImage*>(image.release()));
  return std::make_unique<posix::CopiesAheadFileSystem>(
      std::make_unique<posix::MediumFileSystem>(std::move(medium)));
}

std::unique_ptr<FolderLock> LockFolder(const std::string& path) {
  const std::string folder = posix::PosixFileSystem().FullPath(path);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::make_unique<PosixFolderLock>();
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return std::make_unique<PosixFolderLock>(fd);
  const int error = errno;
  close(fd);
  if (error == EWOULDBLOCK) return nullptr;
  return std::make_unique<PosixFolderLock>();
}

ImageSource OpenImageSource(const std::string& path, std::unique_ptr<OpenedImage>& image,
                            std::string& error) {
  switch (RecogniseDiscImage(path)) {
    case DiscImageKind::kNotImage:
      return ImageSource::kNotImage;
    case DiscImageKind::kDamagedOrOther:
      error = NoVolumeDescriptorMessage(path);
      return ImageSource::kRefused;
    case DiscImageKind::kIso9660:
      break;
  }
  if ((image = posix::OpenImageAt(path, error))) return ImageSource::kOpened;
  error = "cannot read the image " + path + ": " + error;
  return ImageSource::kRefused;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return std::string();
  // The engine reads '\' as a separator here, so a root is read that way too.
  std::string full = path;
  std::replace(full.begin(), full.end(), '\\', '/');
  if (full.front() != '/') {
    std::error_code error;
    fs::path current = fs::current_path(error);
    if (error) return std::string();
    full = current.string() + "/" + full;
  }
  return winpath::Normalized(fs::path(full).lexically_normal().string());
}

char PreferredSeparator() { return '/'; }

// Names on Linux are bytes, normally UTF-8 already; what is not valid UTF-8
// is replaced where the output is written.
std::string NativeToUtf8(const std::string& text) { return text; }

}  // namespace vostrel::platform
