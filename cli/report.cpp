#include "cli/report.h"

#include <nlohmann/json.hpp>

#include "cli/options.h"
#include "engine/board_table.h"
#include "platform/native.h"

namespace vostrel::cli {

namespace {

using Json = nlohmann::ordered_json;

// JSON is UTF-8; names come in the platform's own narrow encoding.
std::string Text(const std::string& native) { return platform::NativeToUtf8(native); }

std::vector<std::string> Texts(const std::vector<std::string>& native) {
  std::vector<std::string> result;
  result.reserve(native.size());
  for (const std::string& text : native) result.push_back(Text(text));
  return result;
}

Json ArgumentsOf(const Operation& operation) {
  Json args = Json::object();
  switch (operation.kind) {
    case OperationKind::kCreateFolder:
    case OperationKind::kRemoveFile:
      args["path"] = Text(operation.path);
      break;
    case OperationKind::kCopyFile:
      args["existing"] = Text(operation.path);
      args["new"] = Text(operation.target);
      args["fail_if_exists"] = true;
      break;
    case OperationKind::kFindFirst:
    case OperationKind::kFindEnd:
      args["pattern"] = Text(operation.path);
      break;
    case OperationKind::kSetAttributes:
      args["path"] = Text(operation.path);
      args["attributes"] = operation.attributes;
      break;
    case OperationKind::kWriteProfile:
      args["section"] = Text(operation.section);
      args["key"] = Text(operation.key);
      args["value"] = Text(operation.value);
      args["file"] = Text(operation.path);
      break;
  }
  return args;
}

}  // namespace

std::string ReportJson(const ReportData& data) {
  Json boards = Json::array();
  for (const BoardDriverRow& row : kBoardDrivers) {
    if (data.selection.Board(row.row)) boards.push_back(row.label);
  }
  Json operations = Json::array();
  if (data.operations != nullptr) {
    for (const Operation& operation : *data.operations) {
      Json entry;
      entry["op"] = OperationName(operation.kind);
      entry["args"] = ArgumentsOf(operation);
      entry["result"] = operation.code;
      entry["ok"] = operation.ok;
      if (operation.kind == OperationKind::kCopyFile && operation.ok) {
        entry["bytes"] = operation.bytes;
      }
      operations.push_back(std::move(entry));
    }
  }

  Json report;
  report["tool"] = "vostrel-kit";
  report["version"] = KitVersion();
  report["dry_run"] = data.dryRun;
  report["jobs"] = data.jobs;
  report["source"] = Text(data.sourceRoot);
  report["destination"] = Text(data.destinationRoot);
  report["selection"] = {{"library_runtime", data.selection.libraryRuntime},
                         {"control_package", data.selection.controlPackage},
                         {"camera_tool", data.selection.cameraTool},
                         {"boards", boards},
                         {"video_card", data.selection.videoCard}};
  report["status"] = Texts(data.status);
  report["operations"] = std::move(operations);
  report["warnings"] = Texts(data.warnings);
  report["failures"] = Texts(data.failures);
  report["summary"] = {
      {"files_copied", data.counts.filesCopied},       {"bytes_copied", data.counts.bytesCopied},
      {"folders_created", data.counts.foldersCreated}, {"files_kept", data.counts.filesKept},
      {"files_removed", data.counts.filesRemoved},     {"failures", data.failures.size()}};
  if (data.image) {
    report["image"] = {{"file", Text(data.image->file)},
                       {"volume_id", data.image->volumeId},
                       {"files", data.image->files},
                       {"bytes", data.image->bytes},
                       {"sha256", data.image->sha256}};
  }
  report["exit_code"] = data.exitCode;
  return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace vostrel::cli
