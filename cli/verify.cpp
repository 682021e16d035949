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

void SaySummary(const KitCheck& check, Console& console) {
  const std::string checked =
      CountOf(check.files, "file") + " and " + CountOf(check.folders, "folder");
  if (check.differences.empty()) {
    console.Err("the kit matches the medium and the selection: " + checked);
  } else {
    console.Err("the kit differs from what the medium and the selection call for: " +
                CountOf(check.differences.size(), "difference") + " (" + checked + " expected)");
  }
}

}  // namespace

KitCheck CheckKit(platform::NativeFileSystem& disk, const Roots& roots,
                  const KitSelection& selection) {
  // An image's entry that a run leaves out is missing from every kit of it:
  // a difference the comparison with the planned kit cannot see.
  KitCheck check;
  ExpectedKit expected;
  {
    const platform::SkipNoticesTo leftOut(
        disk, [&check](const std::string& folder, const std::string& name,
                       const std::string& reason, platform::SkipKind kind) {
          if (kind != platform::SkipKind::kImageName) return;
          check.differences.push_back(SkippedLine(folder, name, reason, kind));
        });
    expected = PlanKit(disk, roots.source, roots.destination, selection);
  }
  const KitListing actual = ListKit(disk, roots.destination);
  KitComparison comparison(disk, expected, actual, selection);
  comparison.Run();
  const std::vector<std::string> lines = comparison.Lines();
  check.differences.insert(check.differences.end(), lines.begin(), lines.end());
  check.digests = comparison.digests();
  check.files = comparison.files();
  check.folders = comparison.folders();
  return check;
}

int RunVerify(const Options& options, std::ostream& out, std::ostream& err) {
  Console console(out, err, options.quiet);
  Roots roots;
  const std::unique_ptr<platform::NativeFileSystem> disk = OpenMedium(options, console, roots);
  if (!disk || !OpenKitImage(options, *disk, console) ||
      !PrepareRoots(options, *disk, DestinationUse::kCheck, console, roots)) {
    return kExitUsage;
  }

  const KitCheck check = CheckKit(*disk, roots, options.selection);
  for (const std::string& line : check.differences) console.Kept(line);
  SaySummary(check, console);

  OutputMessages messages;
  WriteKitOutputs(*disk, options, roots.outputs, roots.destination, check.digests, messages);
  console.Tell(messages);
  return console.ExitStatus(check.differences.empty());
}

}  // namespace vostrel::cli
