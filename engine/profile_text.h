// The setup-type file's text as the private-profile (INI) calls see it: the
// one reader and the one editor, shared by the POSIX profile writer and by
// the kit check. Byte-order marks (UTF-8, UTF-16 LE), UTF-16 LE content and
// the line endings LF, CRLF and a lone CR are understood. Portable: no OS
// header.
#pragma once

#include <string>
#include <vector>

namespace vostrel {

// A file as a reader sees it: sections of key=value entries, names compared
// without regard to case, the first of two equal keys counting. Blank lines
// and comments (';' or '#') carry nothing. Text is UTF-8 whatever the file's
// encoding.
struct ProfileEntry {
  std::string key;
  std::string value;
  bool hasValue = true;  // false for a line without '='
};
struct ProfileSection {
  std::string name;  // empty for lines before the first section
  std::vector<ProfileEntry> entries;

  const ProfileEntry* Find(const std::string& key) const;
};
struct Profile {
  std::vector<ProfileSection> sections;

  const ProfileSection* Find(const std::string& name) const;
  // What one private-profile write does: replace the value, or add the key
  // to its section, or add the section at the end.
  void Set(const std::string& section, const std::string& key, const std::string& value);
};

// Reads a file's bytes.
Profile ReadProfile(const std::string& bytes);

// Whether an entry can be written without changing the file's structure:
// no line break or NUL anywhere, and a key that is not empty, holds no '='
// and would not be read back as a comment or a section header.
bool IsWritableProfileEntry(const std::string& section, const std::string& key,
                            const std::string& value);

// The file's bytes after setting [section] key=value, as the Win32 writer
// edits: every other byte kept, added lines in the file's own line ending
// and encoding. `exists` false means a new file. An entry that is not
// writable leaves the content as it is.
std::string EditProfile(const std::string& content, bool exists, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace vostrel
