// The kit as it stands on disk, and what is made from it after a run or a
// check: the checksum list (--manifest) and the CD image (--iso).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"

namespace vostrel::cli {

// One file or folder below a kit's root.
struct KitEntry {
  std::string relative;  // names as on disk, joined by '/'
  std::string path;      // the kit root + "\" + the names: for the FileSystem
  std::string native;    // the path to open
  bool isDirectory = false;
  bool regular = false;  // a regular file (links followed)
  bool readOnly = false;
  uint64_t size = 0;
  // False for a name Windows cannot hold (one holding '\', Linux only): the
  // kit's FileSystem never sees it, so it is listed but not entered.
  bool windowsName = true;
};

struct KitListing {
  std::vector<KitEntry> entries;    // each folder before what it holds
  std::vector<std::string> issues;  // folders that could not be listed or were not entered
};

// Every file and folder below the existing folder `root`, folder links
// followed except back into a folder the walk is inside.
KitListing ListKit(const std::string& root);

// The manifest: one "HASH  relative/path" line per regular file, sorted by
// the path's bytes, escaped as sha256sum escapes names holding '\' or a line
// break, so `sha256sum -c` checks it from the kit's root. `known` holds
// digests already computed, by relative path. False with a message when a
// file cannot be read.
bool ManifestText(const KitListing& listing, const std::map<std::string, std::string>& known,
                  std::string& text, std::string& error);

// Checks made before anything is written: the folders of the manifest and
// of the image exist, neither file is a folder, and neither lies inside the
// kit (it would become part of what it describes).
std::optional<std::string> CheckKitOutputs(const Options& options, const std::string& destRoot);

// What writing the manifest and the image said: notes and warnings for
// stderr, failures that leave the outputs missing.
struct OutputMessages {
  std::vector<std::string> notes;
  std::vector<std::string> warnings;
  std::vector<std::string> failures;
};

// Writes the manifest and the image the options ask for, of the kit in
// destRoot as it now stands, each to a temporary name put in place whole.
void WriteKitOutputs(const Options& options, const std::string& destRoot,
                     const std::map<std::string, std::string>& known, OutputMessages& messages);

}  // namespace vostrel::cli
