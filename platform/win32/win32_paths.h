// Small helpers on Windows path strings shared by the Win32 layer.
#pragma once

#include <cstddef>
#include <string>

namespace vostrel::platform::win32_paths {

inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Length of the part of a full path that names the drive or share with its
// separator ("C:\" is 3, "\\server\share\" its whole length): nothing above
// it can be created or taken off.
inline size_t RootLength(const std::string& full) {
  if (full.size() >= 3 && full[1] == ':' && IsSeparator(full[2])) return 3;
  if (full.size() >= 2 && IsSeparator(full[0]) && IsSeparator(full[1])) {
    size_t server = full.find_first_of("\\/", 2);
    if (server == std::string::npos) return full.size();
    size_t share = full.find_first_of("\\/", server + 1);
    return share == std::string::npos ? full.size() : share + 1;
  }
  return 0;
}

// A drive with its root ("C:\...") or a share ("\\server\..."): a path that
// no Win32 call resolves against the current or the Windows folder.
inline bool IsFullyQualified(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) return true;
  return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

}  // namespace vostrel::platform::win32_paths
