#include "cli/manifest.h"

#include <algorithm>
#include <vector>

#include "cli/sha256.h"

namespace vostrel::cli {

namespace {

// sha256sum's form of a name: a name holding '\' or a line break is
// escaped, and its line starts with '\'.
std::string ManifestLine(const std::string& digest, const std::string& name) {
  std::string escaped;
  bool needsEscape = false;
  for (char c : name) {
    if (c == '\\') {
      escaped += "\\\\";
      needsEscape = true;
    } else if (c == '\n') {
      escaped += "\\n";
      needsEscape = true;
    } else {
      escaped += c;
    }
  }
  return (needsEscape ? "\\" : "") + digest + "  " + escaped + "\n";
}

}  // namespace

bool ManifestText(const KitListing& listing, const std::map<std::string, std::string>& known,
                  std::string& text, std::string& error) {
  std::vector<const KitEntry*> files;
  for (const KitEntry& entry : listing.entries) {
    if (entry.regular) files.push_back(&entry);
  }
  std::sort(files.begin(), files.end(),
            [](const KitEntry* a, const KitEntry* b) { return a->relative < b->relative; });
  text.clear();
  for (const KitEntry* file : files) {
    std::string digest;
    auto found = known.find(file->relative);
    if (found != known.end()) {
      digest = found->second;
    } else if (!KitFileSha256(listing, *file, digest, error)) {
      error = "cannot read " + file->relative + ": " + error;
      return false;
    }
    text += ManifestLine(digest, file->relative);
  }
  return true;
}

}  // namespace vostrel::cli
