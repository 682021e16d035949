// vostrel-kit: builds a redistribution kit from the command line.
#include <exception>
#include <iostream>

#include "cli/interruption.h"
#include "cli/kit_run.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/verify.h"
#include "platform/native.h"
#include "platform/terminal.h"

namespace {

int Run(const vostrel::cli::Options& options) {
  if (options.verify) {
    try {
      return vostrel::cli::RunVerify(options, std::cout, std::cerr);
    } catch (const std::exception& error) {
      // An unfinished check proves nothing about the kit.
      std::cerr << vostrel::cli::kPrefix << "the check ended early: " << error.what() << '\n';
      return vostrel::cli::kExitIncomplete;
    }
  }
  try {
    return vostrel::cli::RunKit(options, std::cout, std::cerr,
                                vostrel::platform::StderrIsTerminal());
  } catch (const std::exception& error) {
    // The run was cut short: whatever the kit holds is incomplete.
    std::cerr << '\n' << vostrel::cli::kPrefix << "the run ended early: " << error.what() << '\n';
    return vostrel::cli::kExitIncomplete;
  }
}

}  // namespace

int main(int argc, char** argv) {
  using vostrel::cli::ParseResult;
  // Every name a disk holds, whatever the system's code page can spell.
  const ParseResult parsed =
      vostrel::cli::ParseOptions(vostrel::platform::UseUtf8Names(argc, argv));
  vostrel::platform::WriteUtf8ToConsole();
  switch (parsed.action) {
    case ParseResult::Action::kHelp:
      std::cout << parsed.text << std::flush;
      return 0;
    case ParseResult::Action::kVersion:
      std::cout << parsed.text << std::endl;
      return 0;
    case ParseResult::Action::kUsageError:
      std::cerr << vostrel::cli::kPrefix << parsed.text
                << "\nRun 'vostrel-kit --help' for the options.\n";
      return vostrel::cli::kExitUsage;
    case ParseResult::Action::kRun:
      break;
  }
  // From here a signal ends the command on its own way out: temporaries
  // removed, the kit's lock let go, then by that same signal.
  vostrel::cli::CatchInterruptions();
  const int status = Run(parsed.options);
  if (const int signal = vostrel::cli::Interruption()) {
    const bool run = !parsed.options.verify && !parsed.options.dryRun;
    vostrel::cli::EndByInterruption(
        signal, run ? "interrupted; run again with --resume to complete the kit" : "interrupted");
  }
  return status;
}
