#include "cli/messages.h"

#include "engine/file_system.h"
#include "engine/windows_path.h"
#include "platform/native.h"

namespace vostrel::cli {

std::string ErrorMeaning(unsigned long code) {
  switch (code) {
    case win32_error::kSuccess:
      return "closed early";
    case win32_error::kInvalidFunction:
      return "not supported here";
    case win32_error::kFileNotFound:
      return "file not found";
    case win32_error::kPathNotFound:
      return "folder not found";
    case win32_error::kTooManyOpenFiles:
      return "too many open files";
    case win32_error::kAccessDenied:
      return "access denied";
    case win32_error::kNotEnoughMemory:
      return "not enough memory";
    case win32_error::kNoMoreFiles:
      return "no more entries";
    case win32_error::kGenFailure:
      return "device failure";
    case win32_error::kSharingViolation:
      return "in use by another process";
    case win32_error::kFileExists:
      return "already present";
    case win32_error::kInvalidParameter:
      return "invalid parameter";
    case win32_error::kDiskFull:
      return "disk full";
    case win32_error::kInvalidName:
      return "invalid name";
    case win32_error::kDirNotEmpty:
      return "folder not empty";
    case win32_error::kAlreadyExists:
      return "already exists";
    case win32_error::kFilenameExcedRange:
      return "name too long";
    case win32_error::kDirectory:
      return "not a folder";
    case win32_error::kOperationAborted:
      return "interrupted";
    case win32_error::kIoDevice:
      return "I/O error";
    case win32_error::kCantResolveFilename:
      return "too many levels of links";
    default:
      return "system error";
  }
}

std::string CodeText(unsigned long code) {
  return "error " + std::to_string(code) + " (" + ErrorMeaning(code) + ")";
}

std::string CountOf(std::size_t count, const char* what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

std::string DisplayPath(const std::string& path) {
  return winpath::WithSeparators(path, platform::PreferredSeparator());
}

std::string SkippedLine(const std::string& folder, const std::string& name,
                        const std::string& reason, platform::SkipKind kind) {
  const std::string path = DisplayPath(folder) + platform::PreferredSeparator() + name;
  return (kind == platform::SkipKind::kImageName ? "image entry left out: " : "skipped ") + path +
         ": " + reason;
}

}  // namespace vostrel::cli
