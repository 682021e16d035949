#include "cli/run_account.h"

#include <string>

#include "cli/messages.h"
#include "engine/windows_path.h"

namespace vostrel::cli {

namespace {

std::string FailureText(const Operation& operation) {
  const std::string name = OperationName(operation.kind);
  const std::string code = CodeText(operation.code);
  switch (operation.kind) {
    case OperationKind::kCopyFile:
      return name + " " + DisplayPath(operation.path) + " -> " + DisplayPath(operation.target) +
             " failed: " + code;
    case OperationKind::kFindFirst:
      return name + " " + DisplayPath(winpath::ParentOf(operation.path)) + " failed: " + code;
    case OperationKind::kFindEnd:
      return name + " " + DisplayPath(winpath::ParentOf(operation.path)) +
             " ended before the last entry: " + code;
    case OperationKind::kWriteProfile:
      return name + " [" + operation.section + "] " + operation.key + "=" + operation.value +
             " in " + DisplayPath(operation.path) + " failed: " + code;
    case OperationKind::kCreateFolder:
    case OperationKind::kSetAttributes:
    case OperationKind::kRemoveFile:
      break;
  }
  return name + " " + DisplayPath(operation.path) + " failed: " + code;
}

}  // namespace

void RunAccount::Count(const Operation& operation) {
  const bool copy = operation.kind == OperationKind::kCopyFile;
  if (copy) console_.CopyDone(operation.ok ? operation.bytes : 0);
  // A listing's end carries its code whether or not the walk read it all.
  if (operation.ok && operation.kind != OperationKind::kFindEnd) {
    if (operation.kind == OperationKind::kCreateFolder) ++summary_.foldersCreated;
    if (operation.kind == OperationKind::kRemoveFile) ++summary_.filesRemoved;
    if (copy) {
      ++summary_.filesCopied;
      summary_.bytesCopied += operation.bytes;
    }
  } else if (copy && operation.code == win32_error::kFileExists) {
    ++summary_.filesKept;
  }
  if (problems_.Account(operation) != nullptr) console_.Failed(FailureText(operation));
}

void RunAccount::Close() { summary_.failures = console_.failures().size(); }

void RunAccount::Say() {
  Close();
  const std::string copied = std::to_string(summary_.filesCopied) + " files";
  const std::string bytes = " (" + std::to_string(summary_.bytesCopied) + " bytes), ";
  const std::string folders = std::to_string(summary_.foldersCreated) + " folders";
  const std::string kept = std::to_string(summary_.filesKept) + " files";
  const std::string removed = std::to_string(summary_.filesRemoved) + " files";
  const std::string failures = std::to_string(summary_.failures) + " failures";
  if (dryRun_) {
    console_.Err("would copy " + copied + bytes + "would create " + folders + ", would keep " +
                 kept + " (already present), would remove " + removed + ", " + failures);
  } else {
    console_.Err(copied + " copied" + bytes + folders + " created, " + kept +
                 " kept (already present), " + removed + " removed, " + failures);
  }
}

}  // namespace vostrel::cli
