// A folder and every missing folder above it, made through any FileSystem:
// the native one for a kit's root, the dry run's for a root it only
// pretends to make. One CreateFolder a level, from the top down; existing
// folders are found as the run finds them (without regard to case where the
// file system ignores it, links followed).
#pragma once

#include <string>

#include "engine/file_system.h"

namespace vostrel {

struct FolderCreation {
  bool ok = true;
  std::string level;          // the folder (or file in the way) where it failed
  unsigned long code = 0;     // the Win32 code of that failure
  bool fileInTheWay = false;  // `level` is a file, not a folder
};

FolderCreation CreateFolderWithParents(FileSystem& fs, const std::string& path);

}  // namespace vostrel
