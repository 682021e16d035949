// The private-profile writer under any file and any sequence of writes:
// every key written reads back with its last value, and every line that no
// write addressed stays byte-identical and in order. Narrow files and UTF-16
// files (byte-order mark FF FE) alike.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/name_key.h"
#include "engine/profile_text.h"

namespace {

using vostrel::EditProfile;
using vostrel::IsWritableProfileEntry;

template <class Unit>
using Text = std::basic_string<Unit>;

template <class Unit>
bool IsBlank(Unit c) {
  return c == Unit(' ') || c == Unit('\t');
}

template <class Unit>
Text<Unit> Trim(const Text<Unit>& text, size_t begin, size_t end) {
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Names compare as Windows compares them, by the one name key.
bool SameName(const std::string& a, const std::string& b) { return vostrel::names::SameName(a, b); }
bool SameName(const std::u16string& a, const std::u16string& b) {
  return vostrel::names::FoldUnits(a) == vostrel::names::FoldUnits(b);
}

// A line: its text [begin, end) and its ending [end, next).
struct Span {
  size_t begin, end, next;
};

template <class Unit>
std::vector<Span> SplitLines(const Text<Unit>& text, size_t start) {
  std::vector<Span> lines;
  for (size_t pos = start; pos < text.size();) {
    size_t end = pos;
    while (end < text.size() && text[end] != Unit('\r') && text[end] != Unit('\n')) ++end;
    size_t next = end;
    if (next < text.size()) {
      next += (text[next] == Unit('\r') && next + 1 < text.size() && text[next + 1] == Unit('\n'))
                  ? 2
                  : 1;
    }
    lines.push_back({pos, end, next});
    pos = next;
  }
  return lines;
}

// What a reader of the file finds for [section] key: the first section with
// that name, in it the first line naming the key. Its value and line index.
template <class Unit>
std::optional<std::pair<Text<Unit>, size_t>> Read(const Text<Unit>& text, size_t start,
                                                  const Text<Unit>& section,
                                                  const Text<Unit>& key) {
  const std::vector<Span> lines = SplitLines(text, start);
  bool inSection = false;
  for (size_t index = 0; index < lines.size(); ++index) {
    const Span& line = lines[index];
    size_t first = line.begin;
    while (first < line.end && IsBlank(text[first])) ++first;
    if (first == line.end) continue;
    if (text[first] == Unit('[')) {
      size_t close = line.end;
      while (close > first + 1 && text[close - 1] != Unit(']')) --close;
      if (close > first + 1) {
        if (inSection) return std::nullopt;
        inSection = SameName(Trim(text, first + 1, close - 1), section);
        continue;
      }
    }
    if (!inSection || text[first] == Unit(';') || text[first] == Unit('#')) continue;
    size_t equals = first;
    while (equals < line.end && text[equals] != Unit('=')) ++equals;
    if (!SameName(Trim(text, first, equals), key)) continue;
    if (equals == line.end) return std::make_pair(Text<Unit>(), index);
    return std::make_pair(Trim(text, equals + 1, line.end), index);
  }
  return std::nullopt;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "profile writer property broken: %s\n", what);
  std::abort();
}

struct Write {
  std::string section, key, value;
};

// The file's content as code units after its byte-order mark.
template <class Unit>
Text<Unit> Units(const std::string& bytes, size_t mark);

template <>
Text<char> Units<char>(const std::string& bytes, size_t) {
  return bytes;
}

template <>
Text<char16_t> Units<char16_t>(const std::string& bytes, size_t mark) {
  Text<char16_t> units;
  for (size_t i = mark; i + 1 < bytes.size(); i += 2) {
    units.push_back(char16_t(static_cast<unsigned char>(bytes[i]) |
                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return units;
}

// Entries written to UTF-16 files are ASCII here, so their units are their bytes.
template <class Unit>
Text<Unit> Widen(const std::string& text) {
  return Text<Unit>(text.begin(), text.end());
}

template <class Unit>
void Check(const std::string& before, bool existed, const std::string& after,
           const std::vector<Write>& writes) {
  const bool wide = sizeof(Unit) == 2;
  size_t mark = 0;
  if (wide) {
    mark = 2;
  } else if (existed && before.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    mark = 3;
  }
  if (existed && after.compare(0, mark, before, 0, mark) != 0) Fail("the byte-order mark changed");
  const Text<Unit> now = Units<Unit>(after, mark);
  const size_t start = wide ? 0 : mark;

  // Every key reads back with the value of its last write.
  for (size_t i = 0; i < writes.size(); ++i) {
    const Write& write = writes[i];
    if (!IsWritableProfileEntry(write.section, write.key, write.value)) continue;
    bool later = false;
    for (size_t j = i + 1; j < writes.size() && !later; ++j) {
      const Write& other = writes[j];
      later = IsWritableProfileEntry(other.section, other.key, other.value) &&
              SameName(Trim(other.section, 0, other.section.size()),
                       Trim(write.section, 0, write.section.size())) &&
              SameName(Trim(other.key, 0, other.key.size()), Trim(write.key, 0, write.key.size()));
    }
    if (later) continue;
    const Text<Unit> section = Widen<Unit>(Trim(write.section, 0, write.section.size()));
    const Text<Unit> key = Widen<Unit>(Trim(write.key, 0, write.key.size()));
    auto found = Read(now, start, section, key);
    if (!found) Fail("a written key cannot be read back");
    const Text<Unit> value = Widen<Unit>(write.value);
    if (found->first != Trim(value, 0, value.size())) Fail("a key reads back another value");
  }

  if (!existed) return;
  // Every line no write addressed is still there, unchanged and in order.
  const Text<Unit> old = Units<Unit>(before, mark);
  std::set<size_t> touched;
  for (const Write& write : writes) {
    if (!IsWritableProfileEntry(write.section, write.key, write.value)) continue;
    auto found = Read(old, start, Widen<Unit>(Trim(write.section, 0, write.section.size())),
                      Widen<Unit>(Trim(write.key, 0, write.key.size())));
    if (found) touched.insert(found->second);
  }
  const std::vector<Span> oldLines = SplitLines(old, start);
  const std::vector<Span> newLines = SplitLines(now, start);
  size_t at = 0;
  for (size_t index = 0; index < oldLines.size(); ++index) {
    if (touched.count(index)) continue;
    const Span& line = oldLines[index];
    const Text<Unit> text = old.substr(line.begin, line.end - line.begin);
    const Text<Unit> ending = old.substr(line.end, line.next - line.end);
    // A last line without an ending may gain one when a line follows it.
    const bool lastOpen = ending.empty();
    bool matched = false;
    for (; at < newLines.size() && !matched; ++at) {
      const Span& candidate = newLines[at];
      matched =
          now.compare(candidate.begin, candidate.end - candidate.begin, text) == 0 &&
          (lastOpen || now.compare(candidate.end, candidate.next - candidate.end, ending) == 0);
    }
    if (!matched) Fail("a line no write addressed changed, moved or went");
  }
  // An odd last byte of a UTF-16 file is not a unit; it stays the last byte.
  if (wide && before.size() % 2 == 1 && (after.size() % 2 != 1 || after.back() != before.back())) {
    Fail("the odd last byte of a UTF-16 file changed");
  }
}

// Entries written to UTF-16 files are kept to printable ASCII.
std::string Ascii(std::string text) {
  for (char& c : text) c = static_cast<char>(0x20 + static_cast<unsigned char>(c) % 95);
  return text;
}

}  // namespace

// The input: one byte of flags (bit 0: the file exists, bit 1: it is UTF-16,
// bits 2 to 4: the number of writes, 1 to 6), then section, key and value of
// each write, each ended by a 0xFF byte, then the file's content.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size == 0) return 0;
  const bool existed = (bytes[0] & 1) != 0;
  const bool wide = (bytes[0] & 2) != 0;
  const size_t count = std::min<size_t>(std::max<size_t>((bytes[0] >> 2) & 7, 1), 6);
  size_t at = 1;
  auto field = [&]() {
    std::string text;
    while (at < size && bytes[at] != 0xFF) text.push_back(static_cast<char>(bytes[at++]));
    if (at < size) ++at;
    return wide ? Ascii(text) : text;
  };
  std::vector<Write> writes;
  for (size_t i = 0; i < count; ++i) {
    Write write;
    write.section = field();
    write.key = field();
    write.value = field();
    writes.push_back(std::move(write));
  }
  std::string content(reinterpret_cast<const char*>(bytes) + at, size - at);
  if (wide) {
    content = "\xFF\xFE" + content;
  } else if (content.compare(0, 2, "\xFF\xFE") == 0) {
    content.erase(0, 1);  // the narrow case stays narrow
  }

  std::string file = content;
  bool exists = existed;
  for (const Write& write : writes) {
    const std::string edited = EditProfile(file, exists, write.section, write.key, write.value);
    if (!IsWritableProfileEntry(write.section, write.key, write.value) &&
        edited != (exists ? file : std::string())) {
      Fail("an entry that cannot be written changed the file");
    }
    if (IsWritableProfileEntry(write.section, write.key, write.value)) exists = true;
    file = edited;
  }
  if (!exists) return 0;
  if (wide && existed) {
    Check<char16_t>(content, existed, file, writes);
  } else {
    // A file the writes created is narrow, whatever the first write held.
    Check<char>(content, existed, file, writes);
  }
  return 0;
}
