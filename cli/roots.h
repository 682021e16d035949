// The two roots of a command, checked and resolved before it reads a kit or
// writes anything: one sequence of checks for a run and for a check.
#pragma once

#include <string>

#include "cli/console.h"
#include "cli/options.h"
#include "cli/outputs.h"
#include "engine/file_system.h"

namespace vostrel::cli {

// The roots as the engine is handed them (absolute, without trailing
// separators), and where the outputs go.
struct Roots {
  std::string source;
  std::string destination;
  OutputPlaces outputs;
};

// A run makes a missing destination; a check needs an existing kit.
enum class DestinationUse { kRun, kCheck };

// Everything a command checks before it touches a kit, in this order: both
// roots given (on Linux holding no '\', which would split them into
// folders), the medium found (ResolveMedium: its folder, or an image of it
// read in place), the destination resolved (for a check: an existing
// folder), the validation the window makes, the places of the outputs
// (CheckOutputs). False after the message on the console: the command then
// ends with kExitUsage.
bool PrepareRoots(const Options& options, FileSystem& disk, DestinationUse use, Console& console,
                  Roots& roots);

// The medium's folder from what --source names: the folder itself, its
// setup.exe (any case), or an image of it, links followed first. False after "not found" or
// "not an installation medium" on the console.
bool ResolveMedium(FileSystem& disk, const std::string& given, Console& console, std::string& root);

}  // namespace vostrel::cli
