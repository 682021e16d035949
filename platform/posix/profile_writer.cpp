#include "platform/posix/profile_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "engine/file_system.h"
#include "platform/posix/win32_errors.h"

namespace vostrel::posix {

namespace {

// ---------------------------------------------------------------------------
// The editor. It works on code units, so one routine serves narrow files and
// UTF-16 LE files alike, and an unpaired surrogate in a UTF-16 file is just
// another unit that is carried over untouched.

template <class Unit>
using Text = std::basic_string<Unit>;

template <class Unit>
bool IsBlank(Unit c) {
  return c == Unit(' ') || c == Unit('\t');
}

template <class Unit>
bool IsLineBreak(Unit c) {
  return c == Unit('\r') || c == Unit('\n');
}

// Names compare without regard to ASCII case, as the Win32 writer does.
template <class Unit>
Unit FoldAscii(Unit c) {
  return (c >= Unit('a') && c <= Unit('z')) ? Unit(c - Unit('a') + Unit('A')) : c;
}

template <class Unit>
Text<Unit> Trim(const Text<Unit>& text, size_t begin, size_t end) {
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

template <class Unit>
Text<Unit> Trim(const Text<Unit>& text) {
  return Trim(text, 0, text.size());
}

template <class Unit>
bool SameName(const Text<Unit>& a, const Text<Unit>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// One line of the file: [begin, end) is its text, [end, next) its line
// ending (empty for a last line without one).
struct Line {
  size_t begin;
  size_t end;
  size_t next;
};

// Lines end at LF, CRLF or a lone CR.
template <class Unit>
Line LineAt(const Text<Unit>& text, size_t begin) {
  size_t end = begin;
  while (end < text.size() && !IsLineBreak(text[end])) ++end;
  size_t next = end;
  if (next < text.size()) {
    if (text[next] == Unit('\r') && next + 1 < text.size() && text[next + 1] == Unit('\n')) {
      next += 2;
    } else {
      next += 1;
    }
  }
  return {begin, end, next};
}

// Added lines take the file's own line ending: that of its first line break,
// CRLF when it has none.
template <class Unit>
Text<Unit> LineEndingOf(const Text<Unit>& text, size_t start) {
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] == Unit('\n')) return Text<Unit>(1, Unit('\n'));
    if (text[i] == Unit('\r')) {
      if (i + 1 < text.size() && text[i + 1] == Unit('\n')) break;
      return Text<Unit>(1, Unit('\r'));
    }
  }
  return Text<Unit>{Unit('\r'), Unit('\n')};
}

// Every write is one splice: `erase` units at `at` give way to `insert`.
template <class Unit>
struct Splice {
  size_t at = 0;
  size_t erase = 0;
  Text<Unit> insert;
};

// Plans setting [section] key=value in `text`, whose lines begin at `start`
// (after any byte-order mark). Section and key arrive trimmed.
template <class Unit>
Splice<Unit> PlanEdit(const Text<Unit>& text, size_t start, const Text<Unit>& section,
                      const Text<Unit>& key, const Text<Unit>& value) {
  const Text<Unit> eol = LineEndingOf(text, start);
  const Text<Unit> entry = key + Unit('=') + value + eol;

  bool inSection = false;
  size_t insertAt = 0;       // just after the section's last entry line
  bool insertAtEnd = false;  // that line is the file's last and has no line ending
  for (size_t pos = start; pos < text.size();) {
    const Line line = LineAt(text, pos);
    pos = line.next;

    size_t first = line.begin;
    while (first < line.end && IsBlank(text[first])) ++first;
    if (first == line.end) continue;  // blank lines never hold or place a key

    if (text[first] == Unit('[')) {
      size_t close = line.end;
      while (close > first + 1 && text[close - 1] != Unit(']')) --close;
      if (close > first + 1) {
        if (inSection) break;  // the section ends at the next header
        if (SameName(Trim(text, first + 1, close - 1), section)) {
          inSection = true;
          insertAt = line.next;
          insertAtEnd = line.next == line.end;
        }
        continue;
      }
    }
    if (!inSection) continue;
    if (text[first] == Unit(';') || text[first] == Unit('#')) continue;  // comments are not keys

    insertAt = line.next;
    insertAtEnd = line.next == line.end;
    size_t equals = first;
    while (equals < line.end && text[equals] != Unit('=')) ++equals;
    if (!SameName(Trim(text, first, equals), key)) continue;
    if (equals == line.end) {
      // A bare key without '=': it gets its value after what it holds.
      return {line.end, 0, Unit('=') + value};
    }
    size_t valueBegin = equals + 1;
    while (valueBegin < line.end && IsBlank(text[valueBegin])) ++valueBegin;
    return {valueBegin, line.end - valueBegin, value};
  }

  if (inSection) {
    Splice<Unit> insert{insertAt, 0, insertAtEnd ? eol + entry : entry};
    // A lone CR ending put before a blank LF line would join it into one
    // CRLF and swallow that line: this one line then ends in CRLF.
    if (insertAt < text.size() && text[insertAt] == Unit('\n') &&
        insert.insert.back() == Unit('\r')) {
      insert.insert += Unit('\n');
    }
    return insert;
  }

  Splice<Unit> append{text.size(), 0, {}};
  if (text.size() > start && !IsLineBreak(text.back())) append.insert = eol;
  append.insert += Unit('[') + section + Unit(']') + eol + entry;
  return append;
}

// Narrow strings are UTF-8 on this platform. A byte that is not part of a
// valid sequence becomes U+FFFD rather than being dropped.
std::u16string Utf16FromUtf8(const std::string& text) {
  static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  std::u16string result;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    uint32_t point = lead;
    size_t length = 1;
    if (lead >= 0xF0 && lead <= 0xF4) {
      point = lead & 0x07u;
      length = 4;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      point = lead & 0x0Fu;
      length = 3;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      point = lead & 0x1Fu;
      length = 2;
    } else if (lead >= 0x80) {
      length = 0;
    }
    bool valid = length > 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0u) == 0x80u;
      point = (point << 6) | (next & 0x3Fu);
    }
    if (valid && length > 1) {
      valid =
          point >= kSmallest[length] && point <= 0x10FFFF && !(point >= 0xD800 && point < 0xE000);
    }
    if (!valid) {
      result.push_back(u'\xFFFD');
      ++i;
      continue;
    }
    if (point >= 0x10000) {
      point -= 0x10000;
      result.push_back(char16_t(0xD800 + (point >> 10)));
      result.push_back(char16_t(0xDC00 + (point & 0x3FFu)));
    } else {
      result.push_back(char16_t(point));
    }
    i += length;
  }
  return result;
}

std::string BytesFromUtf16(const std::u16string& units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFFu));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

bool HasPrefix(const std::string& text, const char* prefix, size_t length) {
  return text.size() >= length && text.compare(0, length, prefix, length) == 0;
}

// ---------------------------------------------------------------------------
// The file side.

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

bool IsWritableProfileEntry(const std::string& section, const std::string& key,
                            const std::string& value) {
  const auto breaksLine = [](const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
  };
  if (breaksLine(section) || breaksLine(key) || breaksLine(value)) return false;
  const std::string name = Trim(key);
  if (name.empty() || name.find('=') != std::string::npos) return false;
  return name[0] != ';' && name[0] != '#' && name[0] != '[';
}

std::string EditProfile(const std::string& content, bool exists, const std::string& section,
                        const std::string& key, const std::string& value) {
  if (!IsWritableProfileEntry(section, key, value)) return exists ? content : std::string();
  const std::string sectionName = Trim(section);
  const std::string keyName = Trim(key);
  if (!exists) return "[" + sectionName + "]\r\n" + keyName + "=" + value + "\r\n";

  if (HasPrefix(content, "\xFF\xFE", 2)) {
    // UTF-16 LE: edit whole code units after the mark. An odd last byte is
    // not a unit; it stays the file's last byte.
    std::u16string units;
    units.reserve((content.size() - 2) / 2);
    for (size_t i = 2; i + 1 < content.size(); i += 2) {
      units.push_back(char16_t(static_cast<unsigned char>(content[i]) |
                               (static_cast<unsigned char>(content[i + 1]) << 8)));
    }
    const Splice<char16_t> splice = PlanEdit(units, 0, Utf16FromUtf8(sectionName),
                                             Utf16FromUtf8(keyName), Utf16FromUtf8(value));
    const size_t at = 2 + 2 * splice.at;
    const size_t resume = 2 + 2 * (splice.at + splice.erase);
    return content.substr(0, at) + BytesFromUtf16(splice.insert) + content.substr(resume);
  }

  const size_t start = HasPrefix(content, "\xEF\xBB\xBF", 3) ? 3 : 0;
  const Splice<char> splice = PlanEdit(content, start, sectionName, keyName, value);
  return content.substr(0, splice.at) + splice.insert + content.substr(splice.at + splice.erase);
}

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
