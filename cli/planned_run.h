// The run played over an empty destination: it reads the medium, writes
// nothing and says nothing. What a run would do, learnt before it starts
// (the progress line's totals) or without it (the kit a check expects).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/file_system.h"
#include "engine/kit_selection.h"
#include "engine/recording_file_system.h"
#include "engine/run_result.h"
#include "platform/native.h"

namespace vostrel::cli {

// Plays the run on `disk` with `destRoot` taken as empty; each operation
// goes to `observe` (when given) as soon as it has its result.
RunResult PlayOverEmptyDestination(FileSystem& disk, const std::string& sourceRoot,
                                   const std::string& destRoot, const KitSelection& selection,
                                   const std::function<void(const Operation&)>& observe);

// The files and bytes a run would copy into an empty destination, read
// through the command's native file system (which says nothing meanwhile).
void PlannedCopies(platform::NativeFileSystem& disk, const std::string& sourceRoot,
                   const std::string& destRoot, const KitSelection& selection, uint64_t& files,
                   uint64_t& bytes);

}  // namespace vostrel::cli
