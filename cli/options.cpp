#include "cli/options.h"

#include <CLI/CLI.hpp>

#include "engine/board_table.h"

#ifndef VOSTREL_VERSION
#error "VOSTREL_VERSION must come from the build"
#endif

namespace vostrel::cli {

namespace {

constexpr const char* kFooter =
    "Exit status: 0 the kit is complete; 1 the kit was built but may be incomplete or wrong\n"
    "(each cause is listed on stderr); 2 usage error or validation message, nothing written.\n"
    "stdout carries the run's status lines only; warnings, failures and the summary go to\n"
    "stderr.";

std::string BoardList() {
  std::string list;
  for (const BoardDriverRow& row : kBoardDrivers) {
    if (!list.empty()) list += ", ";
    list += row.label;
  }
  return list;
}

bool IsAll(const std::string& name) {
  if (name.size() != 3) return false;
  const char* all = "all";
  for (std::size_t i = 0; i < 3; ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != all[i]) return false;
  }
  return true;
}

ParseResult UsageError(std::string text) {
  ParseResult result;
  result.action = ParseResult::Action::kUsageError;
  result.text = std::move(text);
  return result;
}

}  // namespace

const char* KitVersion() { return VOSTREL_VERSION; }

ParseResult ParseOptions(int argc, const char* const* argv) {
  Options options;
  std::vector<std::string> boards;
  bool noVideoCard = false;
  bool version = false;

  CLI::App app{"Builds a trimmed redistribution kit of the imaging library's installation medium.",
               "vostrel-kit"};
  app.footer(kFooter);
  app.add_option("--source", options.source,
                 "The medium's setup.exe, or the medium's folder (required)")
      ->type_name("PATH");
  app.add_option("--dest", options.destination,
                 "The kit's root folder, created with its parents when missing (required)")
      ->type_name("DIR");
  app.add_flag("--quenzo", options.selection.controlPackage,
               "Also copy the Quenzo control package");
  app.add_flag("--framory", options.selection.cameraTool,
               "Also copy the Framory camera configuration tool");
  app.add_option("--board", boards,
                 "Copy the driver of this frame-grabber board (repeatable, case-insensitive; "
                 "'all' for every board): " +
                     BoardList())
      ->type_name("NAME")
      ->allow_extra_args(false)
      ->delimiter(',');
  app.add_flag("--no-video-card", noVideoCard, "Leave out the Talvor video card driver");
  app.add_flag("--dry-run", options.dryRun,
               "Write nothing; list on stdout, in order, what would be created, copied, written "
               "and removed");
  app.add_option("--report", options.reportFile,
                 "Write a JSON report of the run (selection, status lines, every file operation "
                 "and its result, summary) to FILE")
      ->type_name("FILE");
  app.add_flag("--quiet", options.quiet,
               "Print nothing on stdout (warnings, failures and the summary still go to stderr)");
  app.add_flag("--version", version, "Print the version and exit");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    ParseResult result;
    result.action = ParseResult::Action::kHelp;
    result.text = app.help();
    return result;
  } catch (const CLI::ParseError& error) {
    return UsageError(error.what());
  }

  if (version) {
    ParseResult result;
    result.action = ParseResult::Action::kVersion;
    result.text = std::string("vostrel-kit ") + KitVersion();
    return result;
  }

  // The library runtime is always part of a kit, as in the window.
  options.selection.libraryRuntime = true;
  options.selection.videoCard = !noVideoCard;
  for (const std::string& name : boards) {
    if (IsAll(name)) {
      options.selection.boards.fill(true);
    } else if (const BoardDriverRow* row = FindBoard(name)) {
      options.selection.boards[static_cast<std::size_t>(row->row - 1)] = true;
    } else {
      return UsageError("unknown board '" + name + "'; valid boards: " + BoardList() + " (or all)");
    }
  }

  ParseResult result;
  result.action = ParseResult::Action::kRun;
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
