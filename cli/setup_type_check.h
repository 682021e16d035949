// The check of a kit's setup-type file: compared entry by entry, as its
// reader sees it, with the file the run makes of the medium's.
#pragma once

#include <string>
#include <vector>

#include "cli/expected_kit.h"

namespace vostrel::cli {

// The kit's file (`kit`, its bytes) against the medium's (`medium`; empty
// when the run only writes the file) with the run's writes applied: every
// entry the run writes holds its last written value, every other one is the
// medium's. One text per difference ("[SECTION] Key is N, expected Y").
std::vector<std::string> SetupTypeDifferences(const std::string& medium,
                                              const std::vector<ProfileWrite>& writes,
                                              const std::string& kit);

}  // namespace vostrel::cli
