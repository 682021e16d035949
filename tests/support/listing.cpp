#include "tests/support/listing.h"

#include <gtest/gtest.h>

namespace vostrel::testing {

std::vector<FindData> Listing(FileSystem& fs, const std::string& folder) {
  std::vector<FindData> entries;
  FindData entry;
  auto enumeration = fs.FindFirst(folder + "\\*.*", entry);
  if (!enumeration) return entries;
  do {
    entries.push_back(entry);
  } while (enumeration->Next(entry));
  EXPECT_EQ(fs.LastError(), win32_error::kNoMoreFiles) << folder;
  return entries;
}

}  // namespace vostrel::testing
