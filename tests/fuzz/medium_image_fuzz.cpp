// The medium image reader under any bytes. An image that opens has a tree of
// Windows names, each once in its folder in any case, each folder's items in
// NTFS order, every item found again by its own path without regard to case, and every file's bytes
// read without going past its size; one that does not open says why. Nothing crashes or hangs. The
// corpus is made by tests/faults/image.sh (VOSTREL_IMAGE_CORPUS).
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/name_key.h"
#include "engine/windows_path.h"
#include "platform/posix/medium_image.h"

namespace {

namespace names = vostrel::names;
namespace posix = vostrel::posix;

// Bytes read from the files of one input, at most.
constexpr uint64_t kReadBudget = uint64_t{4} << 20;

[[noreturn]] void Fail(const char* what, const std::string& path) {
  std::fprintf(stderr, "image reader property broken: %s (item \"%s\")\n", what, path.c_str());
  std::abort();
}

void CheckName(const posix::ImageItem& item, const std::string& path) {
  const std::string& name = item.name;
  if (vostrel::winpath::WhyNotAName(name) != nullptr)
    Fail("a name no Windows folder can hold", path);
  if (item.key != names::FoldKey(name)) Fail("a key that is not the name's", path);
}

void CheckContent(const posix::MediumImage& image, const posix::ImageItem& file,
                  const std::string& path, uint64_t& budget) {
  std::string error;
  std::unique_ptr<posix::ContentStream> stream = image.OpenContent(file, error);
  if (!stream) return;
  std::vector<char> buffer(64 * 1024);
  uint64_t read = 0;
  while (budget > 0) {
    const long got = stream->Read(buffer.data(), buffer.size());
    if (got <= 0) break;
    read += static_cast<uint64_t>(got);
    budget -= std::min<uint64_t>(budget, static_cast<uint64_t>(got));
  }
  if (read > file.size) Fail("more bytes than the file's size", path);
}

// Every item, folder by folder, against its folder and its own path.
void CheckTree(const posix::MediumImage& image) {
  uint64_t budget = kReadBudget;
  std::vector<std::pair<uint32_t, std::string>> todo{{0, ""}};
  while (!todo.empty()) {
    const auto [index, folderPath] = todo.back();
    todo.pop_back();
    const posix::ImageItem* previous = nullptr;
    for (uint32_t child : image.At(index).children) {
      const posix::ImageItem& item = image.At(child);
      const std::string path = folderPath.empty() ? item.name : folderPath + "/" + item.name;
      CheckName(item, path);
      if (previous != nullptr &&
          names::NtfsLess(item.key, item.name, previous->key, previous->name)) {
        Fail("a folder out of NTFS order", path);
      }
      if (previous != nullptr && previous->key == item.key) Fail("a name twice in a folder", path);
      previous = &item;
      const posix::MediumImage::Walk walk = image.Resolve(path);
      if (!walk.Complete() || walk.last->name != item.name) Fail("not found by its path", path);
      if (item.isDirectory) {
        todo.emplace_back(child, path);
      } else {
        CheckContent(image, item, path, budget);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memfd_create("image", MFD_CLOEXEC);
  if (fd < 0) return 0;
  for (size_t done = 0; done < size;) {
    const ssize_t wrote = write(fd, data + done, size - done);
    if (wrote <= 0) {
      close(fd);
      return 0;
    }
    done += static_cast<size_t>(wrote);
  }
  std::string error;
  std::unique_ptr<posix::MediumImage> image =
      posix::MediumImage::Open("/proc/self/fd/" + std::to_string(fd), error);
  close(fd);  // the reader holds a descriptor of its own
  if (!image) {
    if (error.empty()) Fail("an image refused without a reason", "");
    return 0;
  }
  CheckTree(*image);
  return 0;
}
