// Images of a medium given as the source: recognised by their content, read
// in place where the platform can (platform/posix/medium_file_system), and
// refused where it cannot. Portable: both platform layers share it.
#pragma once

#include <string>

namespace vostrel::platform {

enum class DiscImageKind {
  kNotImage,        // any other file: the medium is the folder that holds it
  kIso9660,         // an ISO 9660 volume descriptor where one belongs
  kDamagedOrOther,  // named as an image (".iso", ".img") but without one
};

// What the file at `path` (a native path) holds, read from its content; the
// name counts only for a file that holds no volume descriptor, so that a
// damaged image is said to be one instead of taken for a medium's file.
DiscImageKind RecogniseDiscImage(const std::string& path);

// Why an image named as one cannot be read: for kDamagedOrOther.
std::string NoVolumeDescriptorMessage(const std::string& path);

}  // namespace vostrel::platform
