// How a file's bytes reach its copy on Linux, apart from where the copy
// goes: a reflink (no data moves), the data extents of a file with holes,
// copy_file_range, or a read/write loop, each tried where the one before is
// not available; a stretch of a file (a file in a medium image stored whole)
// or a stream of its bytes copied the same way.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <vector>

#include "platform/native.h"

namespace vostrel::posix {

// How a source file is opened. O_NONBLOCK: a pipe on the medium must not
// hang the run; it is refused like any other item that is not a plain file.
constexpr int kSourceFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// The bytes of a file that is not a file of its own on disk (a file inside a
// medium image), read in order.
class ContentStream {
 public:
  virtual ~ContentStream() = default;
  // Up to `size` bytes into `buffer`: how many (0 at the end), or -1 with
  // errno set.
  virtual long Read(char* buffer, size_t size) = 0;
  // Back to the first byte; false with errno set.
  virtual bool Rewind() = 0;
};

// A file copied in from outside the disk: its facts and where its bytes are.
struct StreamedFile {
  uint64_t size = 0;
  int64_t modified = 0;  // seconds since 1970
  bool readOnly = false;
  // The bytes [offset, offset + size) of the file open as `fd`, which the
  // kernel copies, when fd >= 0; else they are read from `stream`.
  int fd = -1;
  uint64_t offset = 0;
  ContentStream* stream = nullptr;
};

// Where a copy takes its bytes and facts from: a file of its own, read to
// its end; a stretch of a file, read exactly; or a stream.
struct DataSource {
  int fd = -1;
  uint64_t size = 0;
  uint64_t offset = 0;
  bool stretch = false;  // the bytes [offset, offset + size) of fd, no more
  ContentStream* stream = nullptr;
  mode_t mode = 0;
  struct timespec times[2] = {};  // accessed, modified
  uint64_t device = 0;
  uint64_t blocks = 0;  // 512-byte blocks on disk: fewer than the size needs means holes

  bool WholeFile() const { return !stretch && stream == nullptr; }
  // Back to the first byte, for another try; false with errno set.
  bool Rewind() const;

  // A source file open as `fd`, with its facts.
  static DataSource OfFile(int fd, const struct ::stat& status);
  // A file from outside the disk: read-only where it says so, as Windows
  // marks every file on a CD, with its time.
  static DataSource OfStreamed(const StreamedFile& file);
};

// What moving a file's data came to.
struct DataMoved {
  int error = 0;  // 0, or the errno that ended it
  bool cloneRefused = false;
  bool cloned = false;  // a reflink: no byte moved
  uint64_t bytes = 0;
};

// Moves the bytes of `from` into the file open as `to` (empty, at its
// start), the reflink only when `tryClone`, copy_file_range only when
// `useRange`. `onBytes` hears of the bytes as they go; `buffer` is the
// read/write loop's, kept between copies.
DataMoved MoveData(const DataSource& from, int to, bool tryClone, bool useRange,
                   const platform::ByteListener& onBytes, std::vector<char>& buffer);

}  // namespace vostrel::posix
