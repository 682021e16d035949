// The private-profile (INI) writer behind WriteProfileEntry on Linux. It
// edits the file the way the Win32 writer does (replace a value in place, add
// a missing key to its section, add a missing section at the end, create a
// missing file) and keeps every other byte of the file as it was.
#pragma once

#include <string>

namespace vostrel::posix {

// Whether an entry can be written without changing the file's structure:
// no line break or NUL anywhere, and a key that is not empty, holds no '='
// and would not be read back as a comment or a section header.
bool IsWritableProfileEntry(const std::string& section, const std::string& key,
                            const std::string& value);

// Pure edit: the file's bytes after setting [section] key=value. `exists`
// false means a new file. An entry that is not writable leaves the content
// as it is.
std::string EditProfile(const std::string& content, bool exists, const std::string& section,
                        const std::string& key, const std::string& value);

// Reads the file at the resolved native path (its folder already exists or
// not), applies EditProfile, and replaces the file atomically. Returns false
// with a Win32 code on failure: 3 when the folder is missing, 5 for a
// read-only file or anything that is not a plain file, 87 for an entry that
// is not writable, 112 for a full disk.
bool WriteProfileFile(const std::string& nativePath, const std::string& section,
                      const std::string& key, const std::string& value, unsigned long& win32Error);

}  // namespace vostrel::posix
