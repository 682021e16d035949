// The CD image of a kit (--iso): ISO 9660 level 3 with Joliet names, which
// the Windows installer sees, and Rock Ridge names. Linux only; the Windows
// build says so instead.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/kit_listing.h"
#include "platform/whole_file.h"

namespace vostrel::cli {

constexpr const char* kDefaultVolumeId = "TALVOR_KIT";

// Whether this build can write images.
bool IsoAvailable();

// Why `id` cannot be a volume id (1 to 32 of A-Z, 0-9 and _), or nothing.
std::optional<std::string> CheckVolumeId(const std::string& id);

struct IsoResult {
  uint64_t files = 0;
  uint64_t bytes = 0;  // of the image
  std::vector<std::string> warnings;
};

// Writes an image of the listed kit where `target` says, a file put in place
// only when the image is whole (platform/whole_file.h). Only folders and
// regular files go in: links and other entries are left out (the caller
// says so). `progress` hears the bytes written of the image's size and may
// stop the write. False with a message on failure; a file is then untouched.
bool WriteIsoImage(const KitListing& listing, const platform::OutputTarget& target,
                   const std::string& volumeId,
                   const std::function<bool(uint64_t, uint64_t)>& progress, IsoResult& result,
                   std::string& error);

}  // namespace vostrel::cli
