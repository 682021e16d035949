// The platform services of platform/native.h on Linux.
#include "platform/native.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "engine/windows_path.h"
#include "platform/disc_image.h"
#include "platform/posix/copies_ahead.h"
#include "platform/posix/medium_file_system.h"
#include "platform/posix/posix_file_system.h"

namespace fs = std::filesystem;

namespace vostrel::platform {

namespace {

// Every run that holds a folder lists it here, so a run into a folder
// inside or above it can see it: one file per run, locked (flock) for as
// long as the run holds its folder, holding the folder as the run named it
// and the identities of the folder and of each folder above. A file nobody
// locks is an ended run's, and is ignored and removed.
constexpr const char* kRegistry = "/tmp/vostrel-kit-locks";

using Chain = std::vector<FolderId>;

bool Holds(const Chain& chain, const FolderId& id) {
  return std::find(chain.begin(), chain.end(), id) != chain.end();
}

struct HeldFolder {
  std::string path;
  Chain chain;
};

std::string EntryText(const std::string& path, const Chain& chain) {
  std::string text = path + "\n";
  for (const FolderId& id : chain) {
    text += std::to_string(id.volume) + " " + std::to_string(id.index) + "\n";
  }
  return text;
}

bool ReadEntry(int fd, HeldFolder& held) {
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, got);
  std::istringstream lines(text);
  if (!std::getline(lines, held.path)) return false;
  FolderId id;
  while (lines >> id.volume >> id.index) held.chain.push_back(id);
  return !held.chain.empty();
}

// The folders other runs hold now (`own` names this run's entry, if any).
std::vector<HeldFolder> HeldFolders(const std::string& own) {
  std::vector<HeldFolder> held;
  DIR* folder = opendir(kRegistry);
  if (folder == nullptr) return held;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.' || name == own) continue;
    const int fd = openat(dirfd(folder), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    // Only this user's runs and root's are believed: another user's entry
    // could claim any folder, and so stop every run on the machine.
    struct stat owner;
    if (fstat(fd, &owner) != 0 || (owner.st_uid != 0 && owner.st_uid != geteuid())) {
      close(fd);
      continue;
    }
    HeldFolder one;
    if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
      unlinkat(dirfd(folder), name.c_str(), 0);  // an ended run's; where we may
    } else if (ReadEntry(fd, one)) {
      held.push_back(std::move(one));
    }
    close(fd);
  }
  closedir(folder);
  return held;
}

// Another run's folder at, inside or above the folder `chain` names
// ("" when it is that very folder); inside only when `exists`.
std::optional<std::string> HeldNear(const Chain& chain, bool exists, const std::string& own) {
  for (const HeldFolder& other : HeldFolders(own)) {
    if (Holds(chain, other.chain.front())) {
      return exists && other.chain.front() == chain.front() ? std::string() : other.path;
    }
    if (exists && Holds(other.chain, chain.front())) return other.path;
  }
  return std::nullopt;
}

// This run's entry, locked and whole before it is named, removed when the
// run lets its folder go.
class Registration {
 public:
  Registration() = default;
  ~Registration() {
    if (fd_ < 0) return;
    unlink((std::string(kRegistry) + "/" + name_).c_str());
    close(fd_);
  }
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

  // False where the registry cannot be kept: the lock then holds the
  // folder alone, as before.
  bool Enter(const std::string& path, const Chain& chain) {
    if (mkdir(kRegistry, 01777) == 0) chmod(kRegistry, 01777);
    struct stat status;
    if (lstat(kRegistry, &status) != 0 || !S_ISDIR(status.st_mode)) return false;
    // Unnamed until it is locked and whole, so a run killed on the way
    // leaves nothing.
    const int fd = open(kRegistry, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    name_ = std::to_string(chain.front().volume) + "-" + std::to_string(chain.front().index) + "-" +
            std::to_string(getpid());
    const std::string text = EntryText(path, chain);
    const std::string byFd = "/proc/self/fd/" + std::to_string(fd);
    const std::string named = std::string(kRegistry) + "/" + name_;
    if (fchmod(fd, 0644) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
        linkat(AT_FDCWD, byFd.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      close(fd);
      return false;
    }
    fd_ = fd;
    return true;
  }
  const std::string& name() const { return name_; }

 private:
  int fd_ = -1;
  std::string name_;
};

class PosixFolderLock : public FolderLock {
 public:
  explicit PosixFolderLock(int fd = -1) : fd_(fd) {}
  ~PosixFolderLock() override {
    if (fd_ >= 0) close(fd_);  // the lock goes with the last descriptor
  }
  PosixFolderLock(const PosixFolderLock&) = delete;
  PosixFolderLock& operator=(const PosixFolderLock&) = delete;

  Registration registration;

 private:
  int fd_;
};

// The identities of the folder `path` (links followed) and of each folder
// above it; for a path not made yet, those of its nearest existing folder.
Chain ChainOf(const std::string& path, bool& exists) {
  exists = true;
  for (std::string at = path; !at.empty();) {
    const OutputTarget place = LocateOutput(at);
    if (place.kind == OutputTarget::Kind::kFolder) return place.identities;
    exists = false;
    const std::string parent = winpath::ParentOf(at, false);
    at = parent == at ? std::string() : parent;
  }
  return Chain();
}

}  // namespace

std::unique_ptr<NativeFileSystem> MakeNativeFileSystem(std::unique_ptr<OpenedImage> image) {
  // Only this layer's OpenImageSource makes them.
  std::unique_ptr<posix::OpenImage> medium(static_cast<posix::OpenImage*>(image.release()));
  return std::make_unique<posix::CopiesAheadFileSystem>(
      std::make_unique<posix::MediumFileSystem>(std::move(medium)));
}

std::unique_ptr<FolderLock> LockFolder(const std::string& path, std::string& held) {
  held.clear();
  const std::string folder = posix::PosixFileSystem().FullPath(path);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::make_unique<PosixFolderLock>();
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) return nullptr;
    return std::make_unique<PosixFolderLock>();
  }
  auto lock = std::make_unique<PosixFolderLock>(fd);
  // Entered before looking, so of two runs starting at once at least one
  // sees the other.
  bool exists = false;
  const Chain chain = ChainOf(folder, exists);
  if (chain.empty() || !lock->registration.Enter(path, chain)) return lock;
  if (std::optional<std::string> other = HeldNear(chain, true, lock->registration.name())) {
    held = *other;
    return nullptr;
  }
  return lock;
}

std::optional<std::string> FolderHeldNear(const std::string& path) {
  bool exists = false;
  const Chain chain = ChainOf(posix::PosixFileSystem().FullPath(path), exists);
  if (chain.empty()) return std::nullopt;
  return HeldNear(chain, exists, std::string());
}

ImageSource OpenImageSource(const std::string& path, std::unique_ptr<OpenedImage>& image,
                            std::string& error, const char*) {
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

std::vector<std::string> UseUtf8Names(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace vostrel::platform
