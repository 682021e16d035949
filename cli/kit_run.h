// One vostrel-kit run: roots, validation, the engine run over the native or
// the dry-run file system, the accounting of every operation, the summary
// and the report.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "cli/options.h"
#include "engine/file_system.h"

namespace vostrel::cli {

// Exit statuses.
constexpr int kExitComplete = 0;
constexpr int kExitIncomplete = 1;  // built, but the kit may be incomplete or wrong
constexpr int kExitUsage = 2;       // usage error or validation message: nothing written

// `out` gets the status lines (and, in a dry run, the would-be changes);
// `err` the validation message, warnings, failures and the summary, and the
// progress line when `showProgress`. Returns the exit status.
int RunKit(const Options& options, std::ostream& out, std::ostream& err, bool showProgress);

// The checks every command makes of the two roots before it reads anything:
// the validation messages for a missing --source or --dest, and on Linux a
// root holding '\' (it would be split into folders). The exit status when
// one fails, after its message on `err`.
std::optional<int> CheckRoots(const Options& options, std::ostream& err);

// The root a --source PATH stands for: the folder itself, or the folder
// holding the file it names. False with a message when PATH is missing.
bool ResolveSourceRoot(FileSystem& fs, const std::string& path, std::string& root,
                       std::string& error);

// A short meaning of a Win32 error code, for messages.
std::string ErrorMeaning(unsigned long code);

}  // namespace vostrel::cli
