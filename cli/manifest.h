// The kit's checksum list (--manifest): what `sha256sum -c` checks from the
// kit's root.
#pragma once

#include <map>
#include <string>

#include "cli/kit_listing.h"

namespace vostrel::cli {

// One "HASH  relative/path" line per regular file, sorted by the path's
// bytes, escaped as sha256sum escapes names holding '\' or a line break.
// `known` holds digests already computed, by relative path. False with a
// message when a file cannot be read.
bool ManifestText(const KitListing& listing, const std::map<std::string, std::string>& known,
                  std::string& text, std::string& error);

}  // namespace vostrel::cli
