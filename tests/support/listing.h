// Reading a folder back through a FileSystem, as the walk reads it.
#pragma once

#include <string>
#include <vector>

#include "engine/file_system.h"

namespace vostrel::testing {

// Every entry an enumeration of `folder` + "\*.*" yields, in order (none when
// it yields nothing); expects the enumeration to end with ERROR_NO_MORE_FILES.
std::vector<FindData> Listing(FileSystem& fs, const std::string& folder);

}  // namespace vostrel::testing
