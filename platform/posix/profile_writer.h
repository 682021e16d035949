// The file side of the private-profile (INI) writer behind WriteProfileEntry
// on Linux: the edit itself is engine/profile_text.h's EditProfile.
#pragma once

#ifndef VOSTREL_POSIX_LAYER
#error "platform/posix/profile_writer.h is private to the POSIX layer: include platform/*.h"
#endif

#include <string>

namespace vostrel::posix {

// Reads the file at the resolved native path (its folder already exists or
// not), applies EditProfile, and replaces the file atomically. Returns false
// with a Win32 code on failure: 3 when the folder is missing, 5 for a
// read-only file or anything that is not a plain file, 87 for an entry that
// is not writable, 112 for a full disk.
bool WriteProfileFile(const std::string& nativePath, const std::string& section,
                      const std::string& key, const std::string& value, unsigned long& win32Error);

}  // namespace vostrel::posix
