// The two roots of a command, checked and resolved before it reads a kit or
// writes anything: one sequence of checks for a run and for a check.
#pragma once

#include <memory>
#include <string>

#include "cli/console.h"
#include "cli/options.h"
#include "cli/outputs.h"
#include "engine/file_system.h"
#include "platform/native.h"

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
// read in place), then, by PrepareRoots, the destination resolved (for a
// check: an existing folder), the validation the window makes, the places
// of the outputs (CheckOutputs). OpenMedium returns the command's native
// file system, made for that medium, and sets roots.source; nullptr after
// the message on the console. PrepareRoots runs on it (or on a dry run over
// it); false after the message. The command then ends with kExitUsage.
std::unique_ptr<platform::NativeFileSystem> OpenMedium(const Options& options, Console& console,
                                                       Roots& roots);
bool PrepareRoots(const Options& options, FileSystem& disk, DestinationUse use, Console& console,
                  Roots& roots);

// A check's destination that is an image of a kit (recognised as an image
// source is) is read in place by `disk`, standing as a folder at its file's
// path. False after the reason when it cannot be read (or this build reads
// no images); true when it is read or is no image.
bool OpenKitImage(const Options& options, platform::NativeFileSystem& disk, Console& console);

// The medium's folder from what --source names: the folder itself, its
// setup.exe (any case), or an image of it, links followed first; with the
// native file system that reads it. nullptr after "not found" or "not an
// installation medium" on the console.
std::unique_ptr<platform::NativeFileSystem> ResolveMedium(const std::string& given,
                                                          Console& console, std::string& root);

}  // namespace vostrel::cli
