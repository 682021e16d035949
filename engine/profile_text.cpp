#include "engine/profile_text.h"

#include <cstddef>
#include <optional>

#include "engine/name_key.h"
#include "engine/utf8.h"

namespace vostrel {

namespace {

// The scanner and the editor work on code units, so one routine serves
// narrow files and UTF-16 LE files alike, and an unpaired surrogate in a
// UTF-16 file is just another unit that is carried over untouched.

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

// Section and key names compare without regard to case, as the Win32
// private-profile calls compare them: by the one name key. Only the
// comparison folds; the file keeps every name as it is spelled.
bool SameUnits(const std::string& a, const std::string& b) { return names::SameName(a, b); }
bool SameUnits(const std::u16string& a, const std::u16string& b) {
  return names::FoldUnits(a) == names::FoldUnits(b);
}

template <class Unit>
Text<Unit> Trim(const Text<Unit>& text, size_t begin, size_t end) {
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string Trim(const std::string& text) { return Trim(text, 0, text.size()); }

// One line of the file as every reader of it sees it. [begin, end) is its
// text, [end, next) its line ending (empty for a last line without one).
enum class LineKind { kBlank, kHeader, kComment, kEntry };
struct Line {
  size_t begin = 0;
  size_t end = 0;
  size_t next = 0;
  LineKind kind = LineKind::kBlank;
  size_t nameBegin = 0;  // a header's name or an entry's key, untrimmed
  size_t nameEnd = 0;
  size_t valueBegin = 0;  // an entry's value, after its leading blanks
  bool hasValue = false;  // an entry holds '='
};

// Lines end at LF, CRLF or a lone CR. A header is '[' ... ']' (whatever
// follows the last ']' is ignored); a line opening with '[' but never
// closing is an entry. Comments open with ';' or '#'.
template <class Unit>
Line ScanLine(const Text<Unit>& text, size_t begin) {
  Line line;
  line.begin = begin;
  line.end = begin;
  while (line.end < text.size() && !IsLineBreak(text[line.end])) ++line.end;
  line.next = line.end;
  if (line.next < text.size()) {
    const bool crlf = text[line.next] == Unit('\r') && line.next + 1 < text.size() &&
                      text[line.next + 1] == Unit('\n');
    line.next += crlf ? 2 : 1;
  }
  size_t first = begin;
  while (first < line.end && IsBlank(text[first])) ++first;
  if (first == line.end) return line;  // blank lines never hold or place a key

  if (text[first] == Unit('[')) {
    size_t close = line.end;
    while (close > first + 1 && text[close - 1] != Unit(']')) --close;
    if (close > first + 1) {
      line.kind = LineKind::kHeader;
      line.nameBegin = first + 1;
      line.nameEnd = close - 1;
      return line;
    }
  }
  if (text[first] == Unit(';') || text[first] == Unit('#')) {
    line.kind = LineKind::kComment;
    return line;
  }
  line.kind = LineKind::kEntry;
  line.nameBegin = first;
  line.nameEnd = first;
  while (line.nameEnd < line.end && text[line.nameEnd] != Unit('=')) ++line.nameEnd;
  line.hasValue = line.nameEnd < line.end;
  line.valueBegin = line.hasValue ? line.nameEnd + 1 : line.end;
  while (line.valueBegin < line.end && IsBlank(text[line.valueBegin])) ++line.valueBegin;
  return line;
}

// Calls `visit` with every line from `start` on, until it returns false.
template <class Unit, class Visit>
void ForEachLine(const Text<Unit>& text, size_t start, Visit visit) {
  for (size_t pos = start; pos < text.size();) {
    const Line line = ScanLine(text, pos);
    if (!visit(line)) return;
    pos = line.next;
  }
}

template <class Unit>
Text<Unit> NameOf(const Text<Unit>& text, const Line& line) {
  return Trim(text, line.nameBegin, line.nameEnd);
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

// Where a missing key goes when its section has no such key: after the
// section's last entry line, or at the file's end with a new header.
template <class Unit>
Splice<Unit> PlanAddition(const Text<Unit>& text, size_t start, bool inSection, size_t insertAt,
                          bool insertAtEnd, const Text<Unit>& section, const Text<Unit>& entry,
                          const Text<Unit>& eol) {
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

// Plans setting [section] key=value in `text`, whose lines begin at `start`
// (after any byte-order mark). Section and key arrive trimmed.
template <class Unit>
Splice<Unit> PlanEdit(const Text<Unit>& text, size_t start, const Text<Unit>& section,
                      const Text<Unit>& key, const Text<Unit>& value) {
  const Text<Unit> eol = LineEndingOf(text, start);
  bool inSection = false;
  size_t insertAt = 0;       // just after the section's last entry line
  bool insertAtEnd = false;  // that line is the file's last and has no line ending
  std::optional<Splice<Unit>> replace;
  ForEachLine(text, start, [&](const Line& line) {
    if (line.kind == LineKind::kHeader) {
      if (inSection) return false;  // the section ends at the next header
      inSection = SameUnits(NameOf(text, line), section);
    }
    if (!inSection || line.kind == LineKind::kBlank || line.kind == LineKind::kComment) return true;
    insertAt = line.next;
    insertAtEnd = line.next == line.end;
    if (line.kind != LineKind::kEntry || !SameUnits(NameOf(text, line), key)) return true;
    // A bare key without '=' gets its value after what it holds.
    replace = line.hasValue ? Splice<Unit>{line.valueBegin, line.end - line.valueBegin, value}
                            : Splice<Unit>{line.end, 0, Unit('=') + value};
    return false;
  });
  if (replace) return *replace;
  return PlanAddition(text, start, inSection, insertAt, insertAtEnd, section,
                      key + Unit('=') + value + eol, eol);
}

// Narrow strings are UTF-8 on this platform. A byte that is not part of a
// valid sequence becomes U+FFFD rather than being dropped.
std::u16string Utf16FromUtf8(const std::string& text) {
  return utf8::ToUtf16(text, utf8::OddByte::kReplace);
}

std::string Utf8Of(const std::string& text) { return text; }
std::string Utf8Of(const std::u16string& text) { return utf8::FromUtf16(text); }

bool HasPrefix(const std::string& text, const char* prefix, size_t length) {
  return text.size() >= length && text.compare(0, length, prefix, length) == 0;
}

// The code units of a UTF-16 LE file after its mark. An odd last byte is not
// a unit.
std::u16string UnitsOf(const std::string& bytes) {
  std::u16string units;
  units.reserve((bytes.size() - 2) / 2);
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units.push_back(char16_t(static_cast<unsigned char>(bytes[i]) |
                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return units;
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

// The first item whose name is `wanted`, without regard to case.
template <class Item>
const Item* FirstNamed(const std::vector<Item>& items, std::string Item::*name,
                       const std::string& wanted) {
  for (const Item& item : items) {
    if (names::SameName(item.*name, wanted)) return &item;
  }
  return nullptr;
}

// The reader: the editor's scan, with what the editor would never reach
// left out (a repeated section, a repeated key).
template <class Unit>
Profile ReadUnits(const Text<Unit>& text, size_t start) {
  Profile profile;
  ProfileSection* current = nullptr;
  bool repeated = false;
  ForEachLine(text, start, [&](const Line& line) {
    if (line.kind == LineKind::kHeader) {
      const std::string name = Utf8Of(NameOf(text, line));
      repeated = profile.Find(name) != nullptr;
      if (!repeated) current = &profile.sections.emplace_back(ProfileSection{name, {}});
      return true;
    }
    if (line.kind != LineKind::kEntry || repeated) return true;
    if (current == nullptr) current = &profile.sections.emplace_back();
    const std::string key = Utf8Of(NameOf(text, line));
    if (current->Find(key) != nullptr) return true;
    const std::string value = Utf8Of(Trim(text, line.valueBegin, line.end));
    current->entries.push_back(ProfileEntry{key, value, line.hasValue});
    return true;
  });
  return profile;
}

}  // namespace

const ProfileEntry* ProfileSection::Find(const std::string& key) const {
  return FirstNamed(entries, &ProfileEntry::key, key);
}

const ProfileSection* Profile::Find(const std::string& name) const {
  return FirstNamed(sections, &ProfileSection::name, name);
}

void Profile::Set(const std::string& section, const std::string& key, const std::string& value) {
  if (!IsWritableProfileEntry(section, key, value)) return;
  auto found = const_cast<ProfileSection*>(Find(Trim(section)));
  if (found == nullptr) found = &sections.emplace_back(ProfileSection{Trim(section), {}});
  auto entry = const_cast<ProfileEntry*>(found->Find(Trim(key)));
  if (entry == nullptr) entry = &found->entries.emplace_back(ProfileEntry{Trim(key), "", true});
  entry->value = Trim(value);
  entry->hasValue = true;
}

Profile ReadProfile(const std::string& bytes) {
  if (HasPrefix(bytes, "\xFF\xFE", 2)) return ReadUnits(UnitsOf(bytes), 0);
  return ReadUnits(bytes, HasPrefix(bytes, "\xEF\xBB\xBF", 3) ? 3 : 0);
}

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
    const Splice<char16_t> splice = PlanEdit(UnitsOf(content), 0, Utf16FromUtf8(sectionName),
                                             Utf16FromUtf8(keyName), Utf16FromUtf8(value));
    const size_t at = 2 + 2 * splice.at;
    const size_t resume = 2 + 2 * (splice.at + splice.erase);
    return content.substr(0, at) + BytesFromUtf16(splice.insert) + content.substr(resume);
  }

  const size_t start = HasPrefix(content, "\xEF\xBB\xBF", 3) ? 3 : 0;
  const Splice<char> splice = PlanEdit(content, start, sectionName, keyName, value);
  return content.substr(0, splice.at) + splice.insert + content.substr(splice.at + splice.erase);
}

}  // namespace vostrel
