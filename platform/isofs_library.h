// libisofs on Linux, held by everything in the process that reads or makes an image:
// started by the first holder and finished with the last, so an image read
// in place stays readable while a kit's image is made. Its messages are
// queued, never printed, and read back as failures.
#pragma once

#include <string>
#include <vector>

// No burner library here: libisofs then declares the image source itself.
#define LIBISOFS_WITHOUT_LIBBURN
#include <libisofs/libisofs.h>

namespace vostrel::platform {

class IsoLibrary {
 public:
  IsoLibrary();
  ~IsoLibrary();
  IsoLibrary(const IsoLibrary&) = delete;
  IsoLibrary& operator=(const IsoLibrary&) = delete;

  // Whether the library started.
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// Whether a library call failed; its message in `error` when it did.
bool IsoFailed(int code, std::string& error);

// The library's messages of severity SORRY and worse since the last call
// (the queue is emptied); a damaged image can make it say the same thing
// thousands of times, so the first hundred are kept and the rest counted.
std::vector<std::string> PendingIsoMessages(std::size_t& more);

// The same, the first few joined by "; ".
std::string PendingIsoFailures();

}  // namespace vostrel::platform
