// An image of a medium read in place with libisofs: its tree as Windows
// shows it when the disc is inserted (Joliet names when the image has them,
// else Rock Ridge names, else the plain ISO 9660 names without ";1"), each
// folder's items in NTFS order, and the bytes of its files. The library
// reads the image through a source of our own that bounds its work: no
// block read past the image's end, none read again and again (a folder that
// contains itself), and the whole tree read within a time limit, on a thread
// with room for a deep tree.
#pragma once

#ifndef VOSTREL_POSIX_LAYER
#error "platform/posix/medium_image.h is private to the POSIX layer: include platform/*.h"
#endif

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/isofs_library.h"
#include "platform/native.h"
#include "platform/posix/data_mover.h"

namespace vostrel::posix {

struct ImageBlocks;
class ImageNames;

// An entry of a folder left out of the tree Windows would show, and why.
struct SkippedEntry {
  std::string name;
  std::string reason;
  platform::SkipKind kind = platform::SkipKind::kEntry;
};

// One file or folder of an image.
struct ImageItem {
  std::string name;  // "" for the root
  std::u16string key;
  bool isDirectory = false;
  uint64_t size = 0;
  int64_t modified = 0;            // seconds since 1970
  std::vector<uint32_t> children;  // a folder's items, in NTFS order
  // A folder's entries left out (a link, a name no Windows name can be, a
  // name the folder holds twice), and why; at the root also the parts of the
  // tree that could not be read.
  std::vector<SkippedEntry> skipped;
  std::string unreadable;   // why a folder could not be read, if it could not
  IsoFile* file = nullptr;  // a file's node in the library's tree
  bool inOnePiece = false;  // a file's bytes lie together, from `offset` on
  uint64_t offset = 0;
};

class MediumImage {
 public:
  // The image in the file at `path` (a native path), its tree read whole;
  // nullptr with the reason in `error` when it cannot be read.
  static std::unique_ptr<MediumImage> Open(const std::string& path, std::string& error);
  ~MediumImage();
  MediumImage(const MediumImage&) = delete;
  MediumImage& operator=(const MediumImage&) = delete;

  const ImageItem& Root() const { return items_.front(); }
  uint32_t IndexOf(const ImageItem& item) const {
    return static_cast<uint32_t>(&item - items_.data());
  }
  const ImageItem& At(uint32_t index) const { return items_[index]; }

  // How far a path below the root ('/' between names) leads: the names it
  // holds, how many of them were found, the last item found (the root when
  // none) and the found part as the image spells it.
  struct Walk {
    std::vector<std::string> names;
    std::size_t found = 0;
    const ImageItem* last = nullptr;
    std::string spelled;

    bool Complete() const { return found == names.size(); }
  };
  Walk Resolve(const std::string& relative) const;

  // The bytes of a file, for a copy: a stretch of the image file when they
  // lie together, else a stream (made into `stream`).
  StreamedFile Streamed(const ImageItem& file, std::unique_ptr<ContentStream>& stream) const;
  // The bytes of a file, read in order; nullptr with a message.
  std::unique_ptr<ContentStream> OpenContent(const ImageItem& file, std::string& error) const;

 private:
  MediumImage() = default;
  bool Import(const std::string& path, std::string& error);
  // A folder still to take: its node, its item and its key (a hash of the
  // names on its path).
  struct FolderToTake {
    IsoDir* dir;
    uint32_t index;
    std::array<unsigned char, 32> key;
  };
  void TakeTree(IsoDir* root);
  // What the library said of the parts of the tree it could not read.
  void TakeProblems();
  void SkipAtRoot(std::string reason);
  void TakeChildren(const FolderToTake& folder, std::vector<FolderToTake>& todo);
  // The item of one entry kept in the tree.
  static ImageItem ItemOf(IsoNode* node, std::string name);
  // The child of `folder` named `name` without regard to case: the one
  // spelled so, else the first in NTFS order; nullptr when there is none.
  const ImageItem* Child(const ImageItem& folder, const std::string& name) const;

  platform::IsoLibrary library_;
  int fd_ = -1;
  IsoDataSource* source_ = nullptr;
  ImageBlocks* blocks_ = nullptr;  // owned by source_
  IsoImage* image_ = nullptr;
  std::unique_ptr<ImageNames> names_;
  std::vector<ImageItem> items_;
};

}  // namespace vostrel::posix
