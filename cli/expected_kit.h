// The kit a check expects: the run played over an empty destination,
// operation by operation, read back as the files and folders it would make.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "engine/file_system.h"
#include "engine/kit_selection.h"

namespace vostrel::cli {

// One private-profile write the run makes to a file.
struct ProfileWrite {
  std::string section;
  std::string key;
  std::string value;
};

// An item of the kit the run would build.
struct ExpectedItem {
  std::string relative;  // as the run spells it, joined by '/'
  bool isDirectory = false;
  std::string source;  // the medium's file it is copied from; empty when only written
  bool readOnly = false;
  int walk = -1;  // the folder walk that makes it; -1 for a single step
  std::size_t order = 0;
  std::vector<ProfileWrite> writes;  // in order
};

struct ExpectedKit {
  // By the relative path's name key (engine/name_key.h).
  std::map<std::u16string, ExpectedItem> items;
  std::map<std::u16string, std::string> removed;  // what the run deletes, by key
  std::vector<std::string> walkFolders;           // the kit folder each walk fills
};

ExpectedKit PlanKit(FileSystem& disk, const std::string& sourceRoot, const std::string& destRoot,
                    const KitSelection& selection);

}  // namespace vostrel::cli
