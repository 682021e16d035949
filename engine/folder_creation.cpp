#include "engine/folder_creation.h"

#include <vector>

#include "engine/windows_path.h"

namespace vostrel {

FolderCreation CreateFolderWithParents(FileSystem& fs, const std::string& path) {
  FolderCreation result;
  std::vector<std::string> missing;
  std::string current = winpath::DropTrailingSeparators(path);
  FileInfo info;
  while (!fs.GetInfo(current, info)) {
    missing.push_back(current);
    const std::string parent = winpath::FolderOf(current);
    if (parent.empty() || parent == current) {
      result.ok = false;
      result.level = current;
      result.code = fs.LastError();
      return result;
    }
    current = parent;
  }
  if (!info.isDirectory) {
    result.ok = false;
    result.level = current;
    result.code = win32_error::kAlreadyExists;
    result.fileInTheWay = true;
    return result;
  }
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    if (fs.CreateFolder(*level)) continue;
    const unsigned long code = fs.LastError();
    // Made meanwhile by someone else: as good as made here.
    if (code == win32_error::kAlreadyExists && fs.GetInfo(*level, info) && info.isDirectory) {
      continue;
    }
    result.ok = false;
    result.level = *level;
    result.code = code;
    result.fileInTheWay = code == win32_error::kAlreadyExists;
    return result;
  }
  return result;
}

}  // namespace vostrel
