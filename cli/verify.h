// vostrel-kit --verify: checks a kit against what the medium and the
// selection call for, without writing anything.
#pragma once

#include <ostream>

#include "cli/options.h"

namespace vostrel::cli {

// Plays the run over an empty destination to learn the kit it would build,
// and compares that with the kit in options.destination: missing and extra
// files and folders, content (by SHA-256), read-only bits and the
// setup-type file's entries. `out` gets one line per difference, `err` the
// summary. Returns 0 when the kit matches, 1 when it does not, 2 for usage
// errors (nothing is checked).
int RunVerify(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace vostrel::cli
