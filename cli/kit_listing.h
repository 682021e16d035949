// The kit as it stands on disk: every file and folder below its root, as the
// engine and Windows see the names, for the check, the manifest and the
// image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vostrel::cli {

// One file or folder below a kit's root.
struct KitEntry {
  std::string relative;  // names as on disk, joined by '/'
  std::string path;      // the kit root + "\" + the names: for the FileSystem
  std::string native;    // the path to open
  bool isDirectory = false;
  bool regular = false;  // a regular file (links followed)
  bool readOnly = false;
  uint64_t size = 0;
  // False for a name Windows cannot hold (one holding '\', Linux only): the
  // kit's FileSystem never sees it, so it is listed but not entered.
  bool windowsName = true;
};

struct KitListing {
  std::vector<KitEntry> entries;    // each folder before what it holds
  std::vector<std::string> issues;  // folders that could not be listed or were not entered
};

// Every file and folder below the existing folder `root`, folder links
// followed except back into a folder the walk is inside.
KitListing ListKit(const std::string& root);

}  // namespace vostrel::cli
