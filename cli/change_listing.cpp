#include "cli/change_listing.h"

#include "cli/messages.h"

namespace vostrel::cli {

std::string ChangeLine(const Operation& change) {
  switch (change.kind) {
    case OperationKind::kCreateFolder:
      return "create " + DisplayPath(change.path);
    case OperationKind::kCopyFile:
      return "copy " + DisplayPath(change.path) + " -> " + DisplayPath(change.target);
    case OperationKind::kWriteProfile:
      return "write " + DisplayPath(change.path) + " [" + change.section + "] " + change.key + "=" +
             change.value;
    case OperationKind::kRemoveFile:
      return "remove " + DisplayPath(change.path);
    case OperationKind::kSetAttributes:
      return (change.attributes == kFileAttributeNormal ? "reset attributes " : "set attributes ") +
             DisplayPath(change.path);
    case OperationKind::kFindFirst:
    case OperationKind::kFindEnd:
      break;
  }
  return std::string();
}

}  // namespace vostrel::cli
