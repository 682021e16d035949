// The command line of vostrel-kit, parsed into what a run needs. A pure
// function of its arguments: it reads no disk and prints nothing.
#pragma once

#include <string>
#include <vector>

#include "engine/kit_selection.h"

namespace vostrel::cli {

// Copies made at once when --jobs is not given: what bench/RESULTS.md shows
// best on a 2-core machine (well ahead on a slow medium, level with 2 and 4
// on a local disk).
constexpr unsigned kDefaultJobs = 8;

struct Options {
  std::string source;       // --source: the medium's setup.exe or its folder
  std::string destination;  // --dest: the kit's root folder
  KitSelection selection;
  bool dryRun = false;
  bool quiet = false;
  bool resume = false;           // --resume: keep what the kit holds and complete it
  std::string reportFile;        // empty: no report
  bool verify = false;           // --verify: check the kit in destination, write nothing
  std::string manifestFile;      // --manifest: the kit's checksum list; empty: none
  std::string isoFile;           // --iso: a CD image of the kit; empty: none
  std::string volumeId;          // --volume-id: the image's volume id
  unsigned jobs = kDefaultJobs;  // --jobs: copies made at once (1: one file at a time)
};

// The copies a run makes at once: one in a dry run and on Windows.
unsigned RunJobs(const Options& options);

struct ParseResult {
  enum class Action { kRun, kHelp, kVersion, kUsageError };
  Action action = Action::kUsageError;
  Options options;
  // kHelp: the help text; kVersion: the version line; kUsageError: the error.
  std::string text;
};

// The version the tool reports: the project's version ("1.0.0.1").
const char* KitVersion();

// The option table --help prints, as data: the manual page and the shell
// completion are made from it at build time (cli/kit_docs.cpp).
struct OptionEntry {
  std::vector<std::string> names;  // "-h", "--help"
  std::string value;               // "PATH", "DIR", "NAME"...; empty for a flag
  std::string text;
};
struct CommandTable {
  std::string summary;  // the line above the options
  std::vector<OptionEntry> options;
  std::string footer;  // exit statuses and where the output goes
};
CommandTable DescribeCommand();

ParseResult ParseOptions(const std::vector<std::string>& arguments);
ParseResult ParseOptions(int argc, const char* const* argv);

}  // namespace vostrel::cli
