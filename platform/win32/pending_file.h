// A file written under a hidden temporary name beside its target and moved
// under the target's name only once whole: every file the Windows layer
// writes before it has its name (a fail-if-exists copy, a whole-file write)
// goes this way, so no partial file ever stands under a final name, and a
// failure leaves no entry behind.
#pragma once

#include <functional>
#include <string>
#include <utility>

namespace vostrel::platform {

class PendingFile {
 public:
  explicit PendingFile(std::string target) : target_(std::move(target)) {}
  ~PendingFile() { Drop(); }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Makes the file under a fresh temporary name beside the target:
  // `make(temporary)` creates it, failing with ERROR_FILE_EXISTS where the
  // name is taken, and another name is then tried. False with
  // GetLastError() set, and nothing left behind.
  bool Create(const std::function<bool(const std::string& temporary)>& make);
  const std::string& Temporary() const { return temporary_; }

  // Moves the file under the target's name: Place never over an existing
  // file, Replace over what stands there. False with GetLastError() set;
  // the file is then still pending.
  bool Place();
  bool Replace();
  // Removes the file, read-only or not; GetLastError() is left as it was.
  void Drop();

 private:
  std::string target_;
  std::string temporary_;  // empty once placed or dropped
};

}  // namespace vostrel::platform
