#include "platform/disc_image.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "engine/name_key.h"
#include "engine/windows_path.h"
#include "platform/whole_file.h"

namespace vostrel::platform {

namespace {

// The first volume descriptor of ISO 9660 stands in the 17th 2048-byte
// sector: a type byte, then "CD001".
constexpr long kDescriptorOffset = 16 * 2048;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool NamedAsImage(const std::string& path) {
  const std::u16string name = names::FoldKey(winpath::LastName(path));
  for (const std::u16string suffix : {u".ISO", u".IMG"}) {
    const std::size_t size = suffix.size();
    if (name.size() > size && name.compare(name.size() - size, size, suffix) == 0) return true;
  }
  return false;
}

}  // namespace

DiscImageKind RecogniseDiscImage(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(OpenForReading(path));
  char descriptor[6] = {};
  if (file && std::fseek(file.get(), kDescriptorOffset, SEEK_SET) == 0 &&
      std::fread(descriptor, 1, sizeof descriptor, file.get()) == sizeof descriptor &&
      std::memcmp(descriptor + 1, "CD001", 5) == 0) {
    return DiscImageKind::kIso9660;
  }
  return NamedAsImage(path) ? DiscImageKind::kDamagedOrOther : DiscImageKind::kNotImage;
}

std::string NoVolumeDescriptorMessage(const std::string& path) {
  return "cannot read the image " + path +
         ": it holds no ISO 9660 volume descriptor (not an image of a disc, or a damaged one)";
}

}  // namespace vostrel::platform
