#include "cli/options.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <utility>

#include "cli/iso.h"
#include "engine/board_table.h"
#include "engine/name_key.h"
#include "vostrel_version.h"

namespace vostrel::cli {

namespace {

constexpr const char* kFooter =
    "Exit status: 0 the kit is complete; 1 the kit was built but may be incomplete or wrong\n"
    "(each cause is listed on stderr); 2 usage error or validation message, nothing written.\n"
    "stdout carries the run's status lines only; warnings, failures and the summary go to\n"
    "stderr. With --verify: 0 the kit matches, 1 it differs (one line per difference on\n"
    "stdout, the summary on stderr), 2 usage error, no such destination or an image that\n"
    "cannot be read. SIGINT and SIGTERM end a run after the current file; run again with\n"
    "--resume to complete the kit.";

std::string BoardList() {
  std::string list;
  for (const BoardDriverRow& row : kBoardDrivers) {
    if (!list.empty()) list += ", ";
    list += row.label;
  }
  return list;
}

ParseResult Result(ParseResult::Action action, std::string text) {
  ParseResult result;
  result.action = action;
  result.text = std::move(text);
  return result;
}

ParseResult UsageError(std::string text) {
  return Result(ParseResult::Action::kUsageError, std::move(text));
}

// What CLI11 fills in, before it becomes the run's Options.
struct CommandLine {
  Options options;
  std::vector<std::string> boards;
  bool noVideoCard = false;
  bool version = false;
  std::string volumeId;
};

// The options that choose the medium, the kit and what it holds.
void DeclareKitOptions(CLI::App& app, CommandLine& line) {
  Options& options = line.options;
  app.add_option("--source", options.source,
                 "The medium's setup.exe, the medium's folder, or an ISO 9660 image of the "
                 "medium, read in place without mounting (Linux; on Windows open (mount) the "
                 "image in Explorer and pass its drive) (required)")
      ->type_name("PATH");
  app.add_option("--dest", options.destination,
                 "The kit's root folder, created with its parents when missing (required)")
      ->type_name("DIR");
  app.add_flag("--quenzo", options.selection.controlPackage,
               "Also copy the Quenzo control package");
  app.add_flag("--framory", options.selection.cameraTool,
               "Also copy the Framory camera configuration tool");
  app.add_option("--board", line.boards,
                 "Copy the driver of this frame-grabber board (repeatable, case-insensitive; "
                 "'all' for every board): " +
                     BoardList())
      ->type_name("NAME")
      ->allow_extra_args(false)
      ->delimiter(',');
  app.add_flag("--no-video-card", line.noVideoCard, "Leave out the Talvor video card driver");
}

// The options that choose what the command does and writes besides the kit.
void DeclareModeOptions(CLI::App& app, CommandLine& line) {
  Options& options = line.options;
  app.add_flag("--dry-run", options.dryRun,
               "Write nothing; list on stdout, in order, what would be created, copied, written "
               "and removed");
  app.add_option("--report", options.reportFile,
                 "Write a JSON report of the run (selection, status lines, every file operation "
                 "and its result, summary) to FILE, outside the medium and the kit ('-': stdout)")
      ->type_name("FILE");
  app.add_flag("--resume", options.resume,
               "Complete a kit in a destination that holds an earlier, possibly interrupted "
               "kit: files already present are kept, never overwritten, and every folder walk "
               "goes on past them; the kit is then checked as --verify checks it");
  app.add_flag("--verify", options.verify,
               "Write nothing; compare the kit in DIR, or in an image of it given as DIR (Linux "
               "only; read-only bits not compared), with the kit the medium and the selection "
               "call for (missing, extra and changed files and folders, read-only bits, "
               "setup-type entries), one line per difference on stdout");
  app.add_option("--manifest", options.manifestFile,
                 "After the run (or with --verify), write a sha256sum list of every file of "
                 "the kit to FILE, outside the medium and the kit ('-': stdout); check it with "
                 "'sha256sum -c' in DIR")
      ->type_name("FILE");
  app.add_option("--iso", options.isoFile,
                 "After the run, write a CD image of the kit to FILE, outside the medium and the "
                 "kit: "
                 "ISO 9660 with Joliet and Rock Ridge names (Linux only). The same kit gives the "
                 "same bytes: dates from SOURCE_DATE_EPOCH (later ones capped to it), else from "
                 "the newest file copied unchanged; the summary names its SHA-256")
      ->type_name("FILE");
  app.add_option("--volume-id", line.volumeId,
                 std::string("The image's volume id: up to 32 of A-Z, 0-9 and _ (default ") +
                     kDefaultVolumeId + ")")
      ->type_name("ID");
  app.add_option("--jobs", options.jobs,
                 "Copy up to N files at once (1-64; default " + std::to_string(kDefaultJobs) +
                     "; Linux only, Windows copies one at a time); the kit, the status lines, "
                     "the report and the exit status are those of --jobs 1")
      ->type_name("N")
      ->envname("VOSTREL_KIT_JOBS")
      ->check(CLI::Range(1u, 64u));
  app.add_flag("--quiet", options.quiet,
               "Print nothing on stdout (warnings, failures and the summary still go to stderr)");
  app.add_flag("--version", line.version, "Print the version and exit");
}

// The boards named on the command line, into the selection; the first name
// that is no board, if any.
std::optional<std::string> ChooseBoards(const std::vector<std::string>& names,
                                        KitSelection& selection) {
  for (const std::string& name : names) {
    if (names::SameName(name, "all")) {
      selection.boards.fill(true);
    } else if (const BoardDriverRow* row = FindBoard(name)) {
      selection.boards[static_cast<std::size_t>(row->row - 1)] = true;
    } else {
      return name;
    }
  }
  return std::nullopt;
}

// The outputs' names: given names are never empty, "-" (standard output)
// takes the report or the manifest, and one name takes one output.
std::optional<std::string> CheckOutputNames(const Options& options, const CLI::App& app) {
  const std::pair<const char*, const std::string*> outputs[] = {
      {"--report", &options.reportFile},
      {"--manifest", &options.manifestFile},
      {"--iso", &options.isoFile}};
  for (const auto& [option, name] : outputs) {
    if (app.count(option) != 0 && name->empty()) return std::string(option) + " needs a file name";
  }
  if (options.isoFile == "-") return std::string("--iso cannot go to standard output ('-')");
  if (options.reportFile == "-" && options.manifestFile == "-") {
    return std::string("only one of --report and --manifest can go to standard output ('-')");
  }
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = i + 1; j < 3; ++j) {
      const std::string& name = *outputs[i].second;
      if (!name.empty() && name == *outputs[j].second) {
        return "one file cannot take two outputs: " + name;
      }
    }
  }
  return std::nullopt;
}

// Options that cannot go together, or that this build cannot honour.
std::optional<std::string> CheckCombination(const Options& options, const CLI::App& app,
                                            const std::string& volumeId) {
  const bool volumeGiven = app.count("--volume-id") != 0;
  if (options.verify) {
    if (options.dryRun) return std::string("--verify writes nothing already; drop --dry-run");
    if (!options.isoFile.empty())
      return std::string("--iso needs a run; it cannot go with --verify");
    if (!options.reportFile.empty()) {
      return std::string("--report describes a run; it cannot go with --verify");
    }
    if (options.resume) return std::string("--resume needs a run; it cannot go with --verify");
  }
  if (options.dryRun) {
    if (!options.manifestFile.empty()) {
      return std::string("a dry run builds no kit to list: --manifest cannot go with --dry-run");
    }
    if (!options.isoFile.empty()) {
      return std::string("a dry run builds no kit to image: --iso cannot go with --dry-run");
    }
  }
  // Only the Windows build writes no images.
  if (!options.isoFile.empty() && !IsoAvailable()) {
    return std::string("--iso is not available on Windows");
  }
  if (!options.isoFile.empty()) {
    std::optional<int64_t> epoch;
    std::string problem;
    if (!ImageEpoch(epoch, problem)) return problem;
  }
  if (volumeGiven && options.isoFile.empty()) return std::string("--volume-id needs --iso");
  if (volumeGiven) {
    if (std::optional<std::string> problem = CheckVolumeId(volumeId)) return problem;
  }
  return CheckOutputNames(options, app);
}

// The whole command line: --help, the manual page and the completion show it.
void DeclareCommand(CLI::App& app, CommandLine& line) {
  app.name("vostrel-kit");
  app.description(
      "Builds a trimmed redistribution kit of the imaging library's installation medium.");
  app.footer(kFooter);
  DeclareKitOptions(app, line);
  DeclareModeOptions(app, line);
}

}  // namespace

const char* KitVersion() { return VOSTREL_VERSION; }

CommandTable DescribeCommand() {
  CommandLine line;
  CLI::App app;
  DeclareCommand(app, line);
  CommandTable table{app.get_description(), {}, app.get_footer()};
  for (const CLI::Option* option : app.get_options()) {
    OptionEntry entry;
    for (const std::string& name : option->get_snames()) entry.names.push_back("-" + name);
    for (const std::string& name : option->get_lnames()) entry.names.push_back("--" + name);
    // "N:UINT in [1 - 64]": the name a person reads, without the parser's check.
    if (option->get_expected_min() > 0) {
      const std::string type = option->get_type_name();
      entry.value = type.substr(0, type.find(':'));
    }
    entry.text = option->get_description();
    table.options.push_back(std::move(entry));
  }
  return table;
}

unsigned RunJobs(const Options& options) {
#ifdef _WIN32
  (void)options;
  return 1;
#else
  return options.dryRun ? 1 : options.jobs;
#endif
}

ParseResult ParseOptions(int argc, const char* const* argv) {
  CommandLine line;
  CLI::App app;
  DeclareCommand(app, line);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return Result(ParseResult::Action::kHelp, app.help());
  } catch (const CLI::ParseError& error) {
    return UsageError(error.what());
  }
  if (line.version) {
    return Result(ParseResult::Action::kVersion, std::string("vostrel-kit ") + KitVersion());
  }

  Options& options = line.options;
  if (std::optional<std::string> conflict = CheckCombination(options, app, line.volumeId)) {
    return UsageError(*conflict);
  }
  options.volumeId = line.volumeId.empty() ? kDefaultVolumeId : line.volumeId;
  // Standard output then carries that output alone: no status lines.
  if (options.reportFile == "-" || options.manifestFile == "-") options.quiet = true;
  // The library runtime is always part of a kit, as in the window.
  options.selection.libraryRuntime = true;
  options.selection.videoCard = !line.noVideoCard;
  if (std::optional<std::string> unknown = ChooseBoards(line.boards, options.selection)) {
    return UsageError("unknown board '" + *unknown + "'; valid boards: " + BoardList() +
                      " (or all)");
  }
  ParseResult result = Result(ParseResult::Action::kRun, std::string());
  result.options = std::move(options);
  return result;
}

ParseResult ParseOptions(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv;
  argv.push_back("vostrel-kit");
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  return ParseOptions(static_cast<int>(argv.size()), argv.data());
}

}  // namespace vostrel::cli
