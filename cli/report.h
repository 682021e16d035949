// The JSON report of a run (--report FILE): what was asked, what the run
// said and did, operation by operation, and how it ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/iso.h"
#include "engine/kit_selection.h"
#include "engine/recording_file_system.h"
#include "engine/run_result.h"

namespace vostrel::cli {

struct ReportData {
  bool dryRun = false;
  unsigned jobs = 1;  // copies made at once
  std::string sourceRoot;
  std::string destinationRoot;
  KitSelection selection;
  std::vector<std::string> status;
  const std::vector<Operation>* operations = nullptr;
  std::vector<std::string> warnings;
  std::vector<std::string> failures;
  RunCounts counts;
  std::optional<WrittenImage> image;  // --iso, when written
  int exitCode = 0;
};

// The report as JSON text. Names that are not valid UTF-8 keep the report
// valid: their bad bytes become U+FFFD.
std::string ReportJson(const ReportData& data);

}  // namespace vostrel::cli
