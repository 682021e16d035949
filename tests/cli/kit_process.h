// Runs the built vostrel-kit as a separate process and collects what it
// printed, and lays out a small installation medium to run it on.
#pragma once

#include <string>
#include <vector>

#include "tests/support/temp_tree.h"

namespace vostrel::testing {

struct KitResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

enum class Stderr { kPipe, kTerminal };

// vostrel-kit with `arguments`; stderr goes to a pipe, or to a terminal
// (POSIX only) to see the progress line.
KitResult RunKitProcess(const std::vector<std::string>& arguments, Stderr mode = Stderr::kPipe);

std::vector<std::string> Lines(const std::string& text);

// Whether `text` holds `part`.
bool Has(const std::string& text, const std::string& part);

#ifndef _WIN32
// Runs a shell command; its stdout, and its exit status in `status`.
std::string Shell(const std::string& command, int& status);
// `text` quoted for the shell.
std::string Quoted(const std::string& text);
// Whether the shell finds the command `name`.
bool HaveTool(const char* name);
#endif

// A medium under tree.Path("medium"): root files, an extra root folder, the
// tools, runtime (with every board library), packages, drivers and the
// Jurano runtime. SetupType.txt is read-only, as on a pressed CD.
void MakeMedium(const TempTree& tree);

}  // namespace vostrel::testing
