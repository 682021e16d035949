// What a command writes besides the kit: the report (--report), the
// manifest (--manifest) and the image (--iso). Their places are judged
// before anything is written; the manifest and the image are made from the
// kit as it stands after the run or the check.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"

namespace vostrel::cli {

// Why `file` cannot take the output called `what` ("report", "manifest",
// "image"), or nothing: the path is a folder, its folder does not exist, or
// it lies inside the kit in `kitRoot` (it would become part of what it
// describes). The one judge of an output's place. The report is judged
// before the roots are known, on its path as given, with `kitRoot` empty.
std::optional<std::string> CheckOutputPlace(const std::string& file, const std::string& what,
                                            const std::string& kitRoot);

// The places of the manifest and the image the options ask for.
std::optional<std::string> CheckKitOutputs(const Options& options, const std::string& destRoot);

// What writing the manifest and the image said: notes and warnings for
// stderr, failures that leave the outputs missing.
struct OutputMessages {
  std::vector<std::string> notes;
  std::vector<std::string> warnings;
  std::vector<std::string> failures;
};

// Writes the manifest and the image the options ask for, of the kit in
// destRoot as it now stands, each put in place whole. `known` holds kit
// digests already computed, by relative path.
void WriteKitOutputs(const Options& options, const std::string& destRoot,
                     const std::map<std::string, std::string>& known, OutputMessages& messages);

}  // namespace vostrel::cli
