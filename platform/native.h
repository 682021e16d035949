// What a front end needs of the platform it runs on, beyond the engine's
// FileSystem: the native file system itself and the handling of the roots a
// person types. platform/posix and platform/win32 each implement it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/file_system.h"
#include "platform/whole_file.h"

namespace vostrel::platform {

// Called for every entry a walk cannot take over safely (a name that cannot
// exist on Windows, such as one holding '\'): the folder, the raw name and why.
using SkipListener = std::function<void(const std::string& folder, const std::string& name,
                                        const std::string& reason)>;

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
  // `jobs` above 1 makes the copies a walk names ahead on that many worker
  // threads (Linux; Windows copies one file at a time).
  virtual void CopyAheadWith(unsigned jobs) = 0;
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
// anything put into it: on Linux flock on the folder's own descriptor, on
// Windows a named mutex derived from the folder's identity.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

// Takes the lock on the existing folder `path`; nullptr when another
// process holds it, `held` then empty, or (Linux) holds a folder inside or
// above it, `held` then that folder as its run named it. Where the platform
// or the disk gives no way to hold it (a folder that cannot be opened, a
// file system without locks) the lock holds nothing, and the run goes on as
// before.
std::unique_ptr<FolderLock> LockFolder(const std::string& path, std::string& held);

// Before the folder `path` is made (Linux): the folder another run holds at
// `path` ("" then) or above it, or, when `path` exists, inside it; nothing
// when no run holds one (always nothing on Windows).
std::optional<std::string> FolderHeldNear(const std::string& path);

// The separator a person uses on this platform, for messages.
char PreferredSeparator();

// A name in the platform's narrow encoding (the ANSI code page on Windows,
// the bytes on disk on Linux) as UTF-8, for outputs that must be UTF-8.
std::string NativeToUtf8(const std::string& text);

}  // namespace vostrel::platform
