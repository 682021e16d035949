// What a front end needs of the platform it runs on, beyond the engine's
// FileSystem: the native file system itself and the handling of the roots a
// person types. platform/posix and platform/win32 each implement it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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

// `jobs` above 1 makes the copies a walk names ahead on that many worker
// threads (Linux; Windows copies one file at a time).
std::unique_ptr<FileSystem> MakeNativeFileSystem(SkipListener onSkip = nullptr,
                                                 ByteListener onBytes = nullptr, unsigned jobs = 1);

// A source that is a file holding an image of a medium (recognised by its
// content). On Linux the image is read in place: from then on every native
// file system of this process sees its tree, read-only, as a folder at
// `path` (an absolute path). The Windows build refuses it, saying to mount
// it. kRefused with the reason in `error` (an image that cannot be read).
enum class ImageSource { kNotImage, kOpened, kRefused };
ImageSource OpenImageSource(const std::string& path, std::string& error);

// Reads a file of the medium as `disk` names it (a file on disk, or a file
// in an image OpenImageSource opened) chunk by chunk. False with a message.
bool ReadMediumFile(FileSystem& disk, const std::string& path, const ChunkSink& take,
                    std::string& error);

// The absolute form of a root as given on a command line (relative to the
// current folder), without resolving links; empty on failure.
std::string AbsolutePath(const std::string& path);

// Creates a folder and its missing parents. False with a message on failure.
bool CreateFolderWithParents(const std::string& path, std::string& error);

// A folder held for one process alone until the lock is destroyed, without
// anything put into it: on Linux flock on the folder's own descriptor, on
// Windows a named mutex derived from the folder's identity.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

// Takes the lock on the existing folder `path`; nullptr when another
// process holds it. Where the platform or the disk gives no way to hold it
// (a folder that cannot be opened, a file system without locks) the lock
// holds nothing, and the run goes on as before.
std::unique_ptr<FolderLock> LockFolder(const std::string& path);

// The separator a person uses on this platform, for messages.
char PreferredSeparator();

// A name in the platform's narrow encoding (the ANSI code page on Windows,
// the bytes on disk on Linux) as UTF-8, for outputs that must be UTF-8.
std::string NativeToUtf8(const std::string& text);

}  // namespace vostrel::platform
