// Whole-file writes and reads. Every file the tool writes outside a copy
// (the report, the manifest, the image, the setup-type file's edits) is
// written to an unnamed file (where the file system has them) or a hidden
// temporary beside its final name and put in place only when whole, with one
// durability policy. platform/posix and platform/win32 each implement it.
// The platform's temporary names are made and recognised here and nowhere
// else, and so are the places an output a person names can go. Files the
// tool reads whole (to hash or compare them) are read here too.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/file_system.h"

namespace vostrel::platform {

// A file being written whole. Nothing stands under the final name until
// Commit() succeeds; destroyed without a successful Commit(), it leaves
// nothing behind (no temporary, the old file, if any, as it was).
class WholeFile {
 public:
  virtual ~WholeFile() = default;
  // False with a message (as the system words it) on failure.
  virtual bool Write(const char* data, std::size_t size, std::string& error) = 0;
  // Flushes, then puts the file in place, replacing what stood there.
  virtual bool Commit(std::string& error) = 0;
};

// Starts a whole-file write of `path` (a native path). nullptr with a
// message when the temporary cannot be made.
std::unique_ptr<WholeFile> BeginWholeFile(const std::string& path, std::string& error);

// The whole of `text` to `path`, replaced in one step. False with a message.
bool WriteWholeFile(const std::string& path, const std::string& text, std::string& error);

// Takes a file's bytes chunk by chunk; false stops the reading.
using ChunkSink = std::function<bool(const char* data, std::size_t size)>;

// Reads the file at `path` (a native path) whole, chunk by chunk. False with
// a message when it cannot be opened or read, or `take` stops it.
bool ReadWholeFile(const std::string& path, const ChunkSink& take, std::string& error);

// fopen(path, "rb") with the path spelled as this process spells names.
std::FILE* OpenForReading(const std::string& path);

// Where a whole read takes its bytes from: up to `size` bytes into `buffer`,
// how many (0 at the end), or -1 with the reason in `error`.
using ChunkSource = std::function<long(char* buffer, std::size_t size, std::string& error)>;

// Reads `next` to its end, chunk by chunk, into `take`: the one loop every
// whole read goes through (a file on disk, a file in an image, a file to
// edit), in chunks of up to `chunk` bytes. False with a message when a read
// fails or `take` stops it.
bool ReadChunks(const ChunkSource& next, const ChunkSink& take, std::string& error,
                std::size_t chunk = std::size_t{1} << 20);

// Where an output a person names (--report, --manifest, --iso) would go,
// found before anything is written. Links are followed: the output goes
// where a link leads, and the link stays a link.
struct OutputTarget {
  enum class Kind {
    kFile,    // a file put in place whole, new or replacing a regular file
    kStream,  // written into as it is: standard output ("-"), a character device, a FIFO
    kFolder,  // refused from here on: nothing can be written to these
    kBlockDevice,
    kSocket,
    kNoFolder,        // the folder it would go into does not exist
    kFolderReadOnly,  // that folder cannot be written
  };

  OutputTarget() = default;
  OutputTarget(Kind how, std::string at, std::string where = std::string())
      : kind(how), path(std::move(at)), place(std::move(where)) {}

  Kind kind = Kind::kNoFolder;
  // kFile: the file, links followed, in a folder that exists; kStream: the
  // path to open (as given); otherwise the part the refusal names.
  std::string path;
  // Where it lies on disk, links followed, for the checks that it lies
  // outside the medium and the kit; empty for standard output and a pipe
  // that has no name.
  std::string place;
  // What it is on disk whatever name reaches it (Linux; none on Windows,
  // where `place` decides): the identity of the item it names when that
  // exists (standard output's for "-"), then of the folder it lies in and
  // of each folder above, to the root (none above a pipe without a name).
  std::vector<FolderId> identities;
  bool exists = false;  // identities[0] is the item's own
  // A new file's name in its folder, and whether that folder's disk
  // ignores case in names: two new files are one only when both match.
  std::string name;
  bool caseless = false;
};

OutputTarget LocateOutput(const std::string& path);

// Starts writing an output where LocateOutput found it should go: a
// whole-file write for kFile; for kStream a writer straight into the stream,
// which Commit() ends. nullptr with a message otherwise.
std::unique_ptr<WholeFile> BeginOutput(const OutputTarget& target, std::string& error);
bool WriteOutput(const OutputTarget& target, const std::string& text, std::string& error);
// BeginOutput's writer into a stream, on each platform: "-" is standard
// output, which stays open.
std::unique_ptr<WholeFile> BeginStream(const std::string& path, std::string& error);

// A fresh name for one of the platform's hidden temporaries, without a
// folder: every copy and whole-file write that needs a name takes it from
// here, and retries with another should the name be taken.
std::string TemporaryName();

// Whether a name is one of the platform's hidden temporaries (a copy or a
// whole-file write not yet put in place): what a killed run can leave behind
// and a resumed run removes. Names beginning with "." are never copied from
// a medium, so in a kit they can only be ours.
bool IsTemporaryName(const std::string& name);

}  // namespace vostrel::platform
