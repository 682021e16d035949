// The names libisofs reports as it reads an image's tree, judged as Windows
// would show them: an entry whose name no Windows name can be, or whose
// folder holds its name twice in any case, is left out of the tree.
#pragma once

#ifndef VOSTREL_POSIX_LAYER
#error "platform/posix/image_names.h is private to the POSIX layer: include platform/*.h"
#endif

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/isofs_library.h"
#include "platform/posix/medium_image.h"
#include "platform/sha256.h"

namespace vostrel::posix {

// A folder of the tree, known by a hash of the names on its path (the root's
// is zeros): one per folder, however deep, where the paths would grow with
// the square of the depth. Two folders could share one only by a collision
// of SHA-256, and would then only see more repeated names, never fewer.
using FolderKey = platform::Sha256::Digest;

struct FolderKeyHash {
  std::size_t operator()(const FolderKey& key) const;
};

// The key of the folder `name` in `folder`.
FolderKey KeyBelow(const FolderKey& folder, const std::string& name);

// The names the library reports as it reads the tree, depth first, folder by
// folder. Windows shows an entry under its own name only when that is a
// Windows name and no other entry of its folder has it in any case; every
// other is left out, the first of a repeated name too, for the image does
// not say which one is meant.
class ImageNames {
 public:
  static constexpr const char* kRepeated =
      "another entry of its folder has the same name (without regard to case)";

  // Has the library report to this while it imports into `image`, and stop
  // when this goes.
  ImageNames(IsoImage* image);
  ~ImageNames();
  ImageNames(const ImageNames&) = delete;
  ImageNames& operator=(const ImageNames&) = delete;

  // Whether the name `name` is repeated in the folder `folder`.
  bool Repeated(const FolderKey& folder, const std::string& name) const;
  // The entries of `folder` the library was told to leave out.
  const std::vector<SkippedEntry>* LeftOut(const FolderKey& folder) const;

 private:
  // Called by the library before it adds an entry: 1 adds it, 0 leaves it
  // (and what lies below it) out.
  static int Report(IsoImage* image, IsoFileSource* source);
  // Whether the library adds the entry `name` of `folder`.
  bool Admit(const std::string& folder, const std::string& name);
  const FolderKey& KeyOf(const std::string& folder);

  IsoImage* image_;
  std::unordered_map<FolderKey, std::unordered_map<std::u16string, unsigned>, FolderKeyHash> seen_;
  std::unordered_map<FolderKey, std::vector<SkippedEntry>, FolderKeyHash> leftOut_;
  // The folder reported last ("" the root, "/A/B" below it), where each
  // level's path ends in it, and each level's key.
  std::string trail_;
  std::vector<std::size_t> ends_{0};
  std::vector<FolderKey> keys_{FolderKey{}};
};

}  // namespace vostrel::posix
