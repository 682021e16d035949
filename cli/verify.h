// vostrel-kit --verify: checks a kit against what the medium and the
// selection call for, without writing anything. A resumed run ends with the
// same check.
#pragma once

#include <cstddef>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/roots.h"
#include "engine/file_system.h"
#include "platform/native.h"

namespace vostrel::cli {

// What the check of a kit found.
struct KitCheck {
  std::vector<std::string> differences;        // one line each, in path order
  std::map<std::string, std::string> digests;  // kit files hashed, by relative path
  std::size_t files = 0;                       // files and folders the kit should hold
  std::size_t folders = 0;
};

// Plays the run over an empty destination to learn the kit it would build,
// and compares that with the kit in roots.destination: missing and extra
// files and folders, content (by SHA-256), read-only bits, the setup-type
// file's entries, and links or other entries no kit may hold.
KitCheck CheckKit(platform::NativeFileSystem& disk, const Roots& roots,
                  const KitSelection& selection);

// --verify: `out` gets one line per difference (`err`, after the tool's
// prefix, when stdout is silenced or taken by the manifest), `err` the summary. Returns
// 0 when the kit matches, 1 when it does not, 2 for usage errors (nothing
// is checked).
int RunVerify(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace vostrel::cli
