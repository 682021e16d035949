#include "platform/win32/pending_file.h"

#include <windows.h>

#include "platform/whole_file.h"
#include "platform/win32/win32_names.h"

namespace vostrel::platform {

namespace {

// Fresh temporary names tried before giving up: a name is taken only by
// another of our own temporaries, and those are rare and short-lived.
constexpr int kAttempts = 100;

}  // namespace

std::string TemporaryBeside(const std::string& target) {
  return target.substr(0, target.find_last_of("\\/") + 1) + TemporaryName();
}

bool PendingFile::Create(const std::function<bool(const std::string& temporary)>& make) {
  Drop();
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string temporary = TemporaryBeside(target_);
    if (make(temporary)) {
      temporary_ = std::move(temporary);
      return true;
    }
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) continue;
    // The name was free, so whatever a failed `make` left there is ours.
    temporary_ = std::move(temporary);
    Drop();
    return false;
  }
  return false;
}

bool PendingFile::Place() {
  if (!names::MoveFileN(temporary_, target_)) return false;
  temporary_.clear();
  return true;
}

bool PendingFile::Replace() {
  if (!names::MoveFileExN(temporary_, target_, MOVEFILE_REPLACE_EXISTING)) return false;
  temporary_.clear();
  return true;
}

void PendingFile::Drop() {
  if (temporary_.empty()) return;
  const DWORD code = GetLastError();
  names::SetFileAttributesN(temporary_, FILE_ATTRIBUTE_NORMAL);
  names::DeleteFileN(temporary_);
  temporary_.clear();
  SetLastError(code);
}

}  // namespace vostrel::platform
