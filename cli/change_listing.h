// A dry run's listing: each would-be change of the kit as one line on
// stdout, in the order the run would make it.
#pragma once

#include <string>

#include "engine/recording_file_system.h"

namespace vostrel::cli {

// The line of one change; empty for a folder listing, which changes nothing.
std::string ChangeLine(const Operation& change);

}  // namespace vostrel::cli
