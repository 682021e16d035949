#include "platform/posix/data_mover.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/pending_file.h"

namespace vostrel::posix {

namespace {

// Bytes per copy_file_range call: small enough for the progress of a long
// file to move, large enough to cost nothing.
constexpr size_t kRangeChunk = size_t{1} << 24;
// The read/write fallback's buffer, one per thread that copies: on a medium
// that waits on every read (a FUSE medium) 512 KiB copied faster than 1 MiB
// or 256 KiB, and eight threads hold 4 MiB, not 8.
constexpr size_t kBufferSize = size_t{1} << 19;
constexpr uint64_t kToTheEnd = ~uint64_t{0};

// Errors that mean "this way of copying is not available here", after which
// the next way is tried.
bool IsUnsupported(int error) {
  return error == EOPNOTSUPP || error == ENOTTY || error == ENOSYS || error == EXDEV ||
         error == EINVAL || error == EBADF || error == ETXTBSY;
}

// One file's data on its way: where it goes, the bytes written so far, and
// who hears of them.
struct Transfer {
  int to;
  const platform::ByteListener& onBytes;
  uint64_t copied = 0;

  void Moved(uint64_t bytes) {
    copied += bytes;
    if (onBytes) onBytes(bytes);
  }
};

// copy_file_range of up to `length` bytes, until the file proves shorter or
// the kernel cannot go on; 0 or the errno that ended the copy. The plain loop
// goes on from wherever this stops. A stretch is read from its own offset,
// anything else from the descriptors' current offsets.
int CopyRange(int from, const loff_t* stretchStart, Transfer& transfer, uint64_t length) {
  for (uint64_t done = 0; done < length;) {
    loff_t at = stretchStart != nullptr ? *stretchStart + static_cast<loff_t>(transfer.copied) : 0;
    const ssize_t moved =
        copy_file_range(from, stretchStart != nullptr ? &at : nullptr, transfer.to, nullptr,
                        std::min<uint64_t>(length - done, kRangeChunk), 0);
    if (moved > 0) {
      done += static_cast<uint64_t>(moved);
      transfer.Moved(static_cast<uint64_t>(moved));
      continue;
    }
    if (moved == 0) break;  // shorter than it was
    if (errno == EINTR) continue;
    if (!IsUnsupported(errno)) return errno;
    break;
  }
  return 0;
}

// read/write of up to `length` bytes, or until `next` gives no more; 0 or
// the errno that ended the copy.
template <typename Next>
int CopyByBuffer(Next next, Transfer& transfer, uint64_t length, std::vector<char>& buffer) {
  for (uint64_t done = 0; done < length;) {
    if (buffer.empty()) buffer.resize(kBufferSize);  // only where the kernel could not copy
    const ssize_t got =
        next(buffer.data(), static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - done)));
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    if (!WriteAll(transfer.to, buffer.data(), static_cast<size_t>(got))) return errno;
    done += static_cast<uint64_t>(got);
    transfer.Moved(static_cast<uint64_t>(got));
  }
  return 0;
}

// A file with holes: only its data extents are copied, each to the same
// offset, and the size is set at the end, so the copy has holes where the
// file has them (copy_file_range without a reflink writes holes out).
int CopyExtents(int from, Transfer& transfer, uint64_t size, bool useRange,
                std::vector<char>& buffer) {
  for (uint64_t at = 0; at < size;) {
    const off_t data = lseek(from, static_cast<off_t>(at), SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) break;  // only a hole is left
      return errno;
    }
    const off_t hole = lseek(from, data, SEEK_HOLE);
    if (hole < 0 || lseek(from, data, SEEK_SET) < 0 || lseek(transfer.to, data, SEEK_SET) < 0) {
      return errno;
    }
    const uint64_t length =
        std::min<uint64_t>(static_cast<uint64_t>(hole), size) - static_cast<uint64_t>(data);
    const uint64_t before = transfer.copied;
    int error = useRange ? CopyRange(from, nullptr, transfer, length) : 0;
    if (error == 0) {
      error = CopyByBuffer([from](char* into, size_t most) { return read(from, into, most); },
                           transfer, length - (transfer.copied - before), buffer);
    }
    if (error != 0) return error;
    if (transfer.copied - before < length) break;  // shorter than it was
    at = static_cast<uint64_t>(hole);
  }
  return ftruncate(transfer.to, static_cast<off_t>(size)) != 0 ? errno : 0;
}

}  // namespace

bool DataSource::Rewind() const {
  if (stream != nullptr) return stream->Rewind();
  return stretch || lseek(fd, 0, SEEK_SET) == 0;
}

DataSource DataSource::OfFile(int fd, const struct ::stat& status) {
  DataSource source;
  source.fd = fd;
  source.size = static_cast<uint64_t>(status.st_size);
  source.mode = status.st_mode & 0777;
  source.times[0] = status.st_atim;
  source.times[1] = status.st_mtim;
  source.device = static_cast<uint64_t>(status.st_dev);
  source.blocks = static_cast<uint64_t>(status.st_blocks);
  return source;
}

DataSource DataSource::OfStreamed(const StreamedFile& file) {
  DataSource source;
  source.fd = file.fd;
  source.size = file.size;
  source.offset = file.offset;
  source.stretch = file.fd >= 0;
  source.stream = file.fd >= 0 ? nullptr : file.stream;
  source.mode = file.readOnly ? 0444 : 0644;
  source.times[0].tv_sec = static_cast<time_t>(file.modified);
  source.times[1].tv_sec = static_cast<time_t>(file.modified);
  return source;
}

// Reflink first (no data moves at all, holes kept), then, for a file with
// holes, its data extents alone; else copy_file_range (the kernel copies,
// possibly offloaded), then a plain read/write loop. A whole file's `size` is
// its size when opened: the medium does not change while a kit is built, so
// no call is spent to find its end. A stretch or a stream must give exactly
// its size: less means the image ends before the file does.
DataMoved MoveData(const DataSource& from, int to, bool tryClone, bool useRange,
                   const platform::ByteListener& onBytes, std::vector<char>& buffer) {
  DataMoved moved;
  Transfer transfer{to, onBytes};
  // Sizes of 0 go to the plain loop: some files report 0 and hold data.
  if (from.WholeFile() && tryClone && from.size > 0) {
    if (ioctl(to, FICLONE, from.fd) == 0) {
      transfer.Moved(from.size);
      moved.bytes = from.size;
      moved.cloned = true;
      return moved;
    }
    if (!IsUnsupported(errno)) {
      moved.error = errno;
      return moved;
    }
    moved.cloneRefused = true;
  }
  if (from.WholeFile() && from.size > 0 && from.blocks * 512 < from.size) {
    // Fewer blocks than its size needs: the file has holes.
    moved.error = CopyExtents(from.fd, transfer, from.size, useRange, buffer);
    moved.bytes = from.size;
    return moved;
  }
  const loff_t start = static_cast<loff_t>(from.offset);
  if (from.stream == nullptr && useRange && from.size > 0) {
    moved.error = CopyRange(from.fd, from.stretch ? &start : nullptr, transfer, from.size);
  }
  if (moved.error == 0 && (from.size == 0 || transfer.copied != from.size)) {
    moved.error = CopyByBuffer(
        [&](char* buffer, size_t size) -> ssize_t {
          if (from.stream != nullptr) return from.stream->Read(buffer, size);
          if (!from.stretch) return read(from.fd, buffer, size);
          const size_t wanted = std::min<uint64_t>(size, from.size - transfer.copied);
          return wanted == 0
                     ? 0
                     : pread(from.fd, buffer, wanted, start + static_cast<loff_t>(transfer.copied));
        },
        transfer, kToTheEnd, buffer);
  }
  moved.bytes = transfer.copied;
  if (moved.error == 0 && !from.WholeFile() && moved.bytes != from.size) moved.error = EIO;
  return moved;
}

}  // namespace vostrel::posix
