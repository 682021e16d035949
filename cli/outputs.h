// What a command writes besides the kit: the report (--report), the
// manifest (--manifest) and the image (--iso). Their places are judged
// before anything is written; the manifest and the image are made from the
// kit as it stands after the run or the check.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/iso.h"
#include "cli/options.h"
#include "engine/file_system.h"
#include "platform/native.h"
#include "platform/whole_file.h"

namespace vostrel::cli {

// Where each output the options name goes (an output not asked for keeps
// an empty path).
struct OutputPlaces {
  platform::OutputTarget report;
  platform::OutputTarget manifest;
  platform::OutputTarget image;
};

// The one judge of the outputs' places, before anything is written: why an
// output cannot go where the options name it, or nothing. Refused: a place
// inside the medium in `mediumRoot` or the kit in `kitRoot` (by what the
// folders are on disk, whatever name reaches them: a link, a bind mount,
// another spelling), an existing folder, a block device or a socket, a
// folder that does not exist or cannot be written, and two outputs that
// reach one file or stream. A character device or a FIFO is written into;
// "-" is standard output.
std::optional<std::string> CheckOutputs(const Options& options, FileSystem& disk,
                                        const std::string& mediumRoot, const std::string& kitRoot,
                                        OutputPlaces& places);

// Whether the report or the manifest goes to standard output, by "-" or
// by another name of it (/dev/stdout, the file stdout was sent to).
bool TakesStandardOutput(const OutputPlaces& places);

// What writing the manifest and the image said: notes and warnings for
// stderr, failures that leave the outputs missing.
struct OutputMessages {
  std::vector<std::string> notes;
  std::vector<std::string> warnings;
  std::vector<std::string> failures;
  std::optional<WrittenImage> image;  // when one was written
};

// Hears how far the image has been written; false stops it.
using ImageProgress = std::function<bool(uint64_t written, uint64_t total)>;

// Writes the manifest and the image the options ask for, of the kit in
// destRoot as it now stands (listed through `disk`), each put in place whole. `known` holds kit
// digests already computed, by relative path. Entries of the kit that are
// links or not regular files are left out of both, each a failure.
void WriteKitOutputs(platform::NativeFileSystem& disk, const Options& options,
                     const OutputPlaces& places, const std::string& destRoot,
                     const std::map<std::string, std::string>& known, OutputMessages& messages,
                     const ImageProgress& progress = nullptr);

}  // namespace vostrel::cli
