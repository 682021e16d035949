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

// What the summary and the report say of an image written.
struct WrittenImage {
  std::string file;  // as given to --iso
  std::string volumeId;
  uint64_t files = 0;
  uint64_t bytes = 0;
  std::string sha256;  // lower-case hex
};

struct IsoResult {
  uint64_t files = 0;
  uint64_t bytes = 0;  // of the image
  std::string sha256;  // of the image, lower-case hex
  std::vector<std::string> warnings;
};

// The date SOURCE_DATE_EPOCH sets for the image, when it is set; false with
// a message when it is not a whole number of seconds since 1970.
bool ImageEpoch(std::optional<int64_t>& epoch, std::string& error);

// Writes an image of the listed kit where `target` says, a file put in place
// only when the image is whole (platform/whole_file.h). Only folders and
// regular files go in: links and other entries are left out (the caller
// says so). The image's bytes follow from the kit alone: every date in it is
// the kit file's own modification time, capped at the image's date, which is
// `epoch` when given, else the newest of those times (the files the run
// copied unchanged from the medium keep the medium's times); the setup-type
// file the run edits and every folder take the image's date. `progress` hears the bytes written of
// the image's size and may stop the write. False with a message on failure; a file is then
// untouched.
bool WriteIsoImage(const KitListing& listing, const platform::OutputTarget& target,
                   const std::string& volumeId, std::optional<int64_t> epoch,
                   const std::function<bool(uint64_t, uint64_t)>& progress, IsoResult& result,
                   std::string& error);

}  // namespace vostrel::cli
