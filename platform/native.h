// What a front end needs of the platform it runs on, beyond the engine's
// FileSystem: the native file system itself and the handling of the roots a
// person types. platform/posix and platform/win32 each implement it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/file_system.h"
#include "platform/whole_file.h"

namespace vostrel::platform {

// What kind of entry a walk leaves out: one it cannot take over safely (a
// name holding '\' on a disk, a link or device in an image), or an entry of
// an image whose name Windows would not show as it stands (no Windows name
// can be it, or its folder holds it twice).
enum class SkipKind { kEntry, kImageName };

// Called for every entry a walk leaves out: the folder, the raw name, why and
// what kind of entry it is.
using SkipListener = std::function<void(const std::string& folder, const std::string& name,
                                        const std::string& reason, SkipKind kind)>;

// Called during a copy with the bytes just written to it, so a long file
// shows its progress (Linux; on Windows a copy is seen when it ends).
using ByteListener = std::function<void(uint64_t bytes)>;

// An image of the medium that OpenImageSource opened, for the native file
// system it is handed to (Linux; the Windows build opens none).
class OpenedImage {
 public:
  virtual ~OpenedImage() = default;
};

// The engine's FileSystem on this machine's disks, with what a front end
// sets on it for a run. A process makes one, for its medium.
class NativeFileSystem : public FileSystem {
 public:
  // Hears of every entry a walk leaves out; returns the listener it replaces.
  virtual SkipListener SetSkipListener(SkipListener onSkip) = 0;
  virtual void SetByteListener(ByteListener onBytes) = 0;
  // `jobs` above 1 makes up to that many copies at once: the walk's thread
  // and `jobs` - 1 workers copy the files a walk names ahead (Linux;
  // Windows copies one file at a time).
  virtual void CopyAheadWith(unsigned jobs) = 0;
  // Listings from now on may leave a plain file's read-only bit out: a
  // run's walk reads names and kinds only (on Linux the bit costs a look-up
  // per file; Windows lists it anyway).
  virtual void ListNamesAndKindsOnly() {}
  // Reads a file of the medium as this file system names it (a file on
  // disk, or a file in its image) chunk by chunk. False with a message.
  virtual bool ReadMediumFile(const std::string& path, const ChunkSink& take,
                              std::string& error) = 0;
  // Stands one more image that OpenImageSource opened, read-only, as a
  // folder at the path of its file: the image of a kit, for a check.
  virtual void StandImage(std::unique_ptr<OpenedImage> image) { (void)image; }
};

// The native file system, reading `image` in place when one is given: its
// tree stands, read-only, as a folder at the path of its file.
std::unique_ptr<NativeFileSystem> MakeNativeFileSystem(
    std::unique_ptr<OpenedImage> image = nullptr);

// Sends the skipped-name notices of `disk` to `onSkip` while it lives, then
// back where they went before.
class SkipNoticesTo {
 public:
  SkipNoticesTo(NativeFileSystem& disk, SkipListener onSkip)
      : disk_(disk), before_(disk.SetSkipListener(std::move(onSkip))) {}
  ~SkipNoticesTo() { disk_.SetSkipListener(std::move(before_)); }
  SkipNoticesTo(const SkipNoticesTo&) = delete;
  SkipNoticesTo& operator=(const SkipNoticesTo&) = delete;

 private:
  NativeFileSystem& disk_;
  SkipListener before_;
};

// A source that is a file holding an image of a medium (recognised by its
// content), or the image of a kit a check reads. On Linux the image is
// opened into `image`, for the native file system (`path` is an absolute
// path). The Windows build refuses it, saying to mount it and pass the drive
// to `option`. kRefused with the reason in `error` (an image that cannot be
// read).
enum class ImageSource { kNotImage, kOpened, kRefused };
ImageSource OpenImageSource(const std::string& path, std::unique_ptr<OpenedImage>& image,
                            std::string& error, const char* option = "--source");

// The absolute form of a root as given on a command line (relative to the
// current folder), without resolving links; empty on failure.
std::string AbsolutePath(const std::string& path);

// A folder held for one process alone until the lock is destroyed, without
// anything put into it: on Linux flock on the folder's own descriptor and an
// entry in the registry of held folders, on Windows a named mutex and named
// notes derived from the identities of the folder and those above it.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

// Takes the lock on the existing folder `path`; nullptr when another
// process holds it, `held` then empty, or holds a folder inside or above it,
// `held` then that folder as its run named it. Where the platform
// or the disk gives no way to hold it (a folder that cannot be opened, a
// file system without locks) the lock holds nothing, and the run goes on as
// before.
std::unique_ptr<FolderLock> LockFolder(const std::string& path, std::string& held);

// Before the folder `path` is made: the folder another run holds at `path`
// ("" then) or above it, or, when `path` exists, inside it; nothing when no
// run holds one.
std::optional<std::string> FolderHeldNear(const std::string& path);

// The separator a person uses on this platform, for messages.
char PreferredSeparator();

// A name in the platform's narrow encoding (the bytes on disk on Linux; on
// Windows the ANSI code page, or UTF-8 after UseUtf8Names) as UTF-8, for
// outputs that must be UTF-8.
std::string NativeToUtf8(const std::string& text);

// Makes this process spell every name in UTF-8, so that it reaches every
// name a disk holds, and returns its command line's arguments (without the
// program's name) so spelled
// (Windows: from the wide command line, through the system's wide calls;
// Linux: the bytes as they are). Called before any other file work; a
// process that never calls it spells names in the system code page.
std::vector<std::string> UseUtf8Names(int argc, char** argv);

}  // namespace vostrel::platform
