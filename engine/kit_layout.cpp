#include "engine/kit_layout.h"

#include <algorithm>

#include "engine/file_system.h"

namespace vostrel::kit_layout {

std::vector<std::string> TopFolders() {
  std::vector<std::string> tops;
  for (const KitPath& folder : kFolders) {
    const std::string path = folder.c_str();
    const std::string top = path.substr(0, path.find('\\', 1));
    if (std::find(tops.begin(), tops.end(), top) == tops.end()) tops.push_back(top);
  }
  return tops;
}

bool IsMedium(FileSystem& fs, const std::string& root) {
  FileInfo info;
  if (fs.GetInfo(root + kSetupProgram, info) && !info.isDirectory) return true;
  return fs.GetInfo(root + kTalvorImaging, info) && info.isDirectory;
}

}  // namespace vostrel::kit_layout
