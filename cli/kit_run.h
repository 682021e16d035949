// One vostrel-kit run: the roots checked, the engine run over the native or
// the dry-run file system, every operation counted, the manifest and the
// image, the summary and the report.
#pragma once

#include <ostream>

#include "cli/options.h"

namespace vostrel::cli {

// `out` gets the status lines (and, in a dry run, the would-be changes);
// `err` the validation message, warnings, failures and the summary, and the
// progress line when `showProgress`. Returns the exit status (messages.h).
int RunKit(const Options& options, std::ostream& out, std::ostream& err, bool showProgress);

}  // namespace vostrel::cli
