#include "cli/verify.h"

#include <memory>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/expected_kit.h"
#include "cli/kit_comparison.h"
#include "cli/kit_listing.h"
#include "cli/messages.h"
#include "cli/outputs.h"
#include "cli/roots.h"
#include "platform/native.h"

namespace vostrel::cli {

namespace {

void SaySummary(const KitComparison& comparison, std::size_t differences, Console& console) {
  const std::string checked =
      CountOf(comparison.files(), "file") + " and " + CountOf(comparison.folders(), "folder");
  if (differences == 0) {
    console.Err("the kit matches the medium and the selection: " + checked);
  } else {
    console.Err("the kit differs from what the medium and the selection call for: " +
                CountOf(differences, "difference") + " (" + checked + " expected)");
  }
}

}  // namespace

int RunVerify(const Options& options, std::ostream& out, std::ostream& err) {
  Console console(out, err, options.quiet);
  std::unique_ptr<FileSystem> disk = platform::MakeNativeFileSystem();
  Roots roots;
  if (!PrepareRoots(options, *disk, DestinationUse::kCheck, console, roots)) return kExitUsage;

  const ExpectedKit expected = PlanKit(*disk, roots.source, roots.destination, options.selection);
  const KitListing actual = ListKit(roots.destination);
  KitComparison comparison(*disk, expected, actual, options.selection);
  comparison.Run();
  const std::vector<std::string> lines = comparison.Lines();
  for (const std::string& line : lines) console.Out(line);
  SaySummary(comparison, lines.size(), console);

  OutputMessages messages;
  WriteKitOutputs(options, roots.destination, comparison.digests(), messages);
  console.Tell(messages);
  return lines.empty() && messages.failures.empty() ? kExitComplete : kExitIncomplete;
}

}  // namespace vostrel::cli
