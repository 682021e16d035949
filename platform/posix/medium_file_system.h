// The engine's file system on Linux, with the medium side as a seam: a
// folder on disk, or an image of the medium read in place. The image a
// MediumFileSystem is made with stands, read-only, as a folder at the path of
// its file; what lies in it is answered from
// the image (names without regard to case, NTFS order, folder identities,
// read-only files with the image's times), and a copy out of it streams
// into the POSIX layer's copy path. Everything else, the destination above
// all, is the POSIX layer's.
#pragma once

#ifndef VOSTREL_POSIX_LAYER
#error "platform/posix/medium_file_system.h is private to the POSIX layer: include platform/*.h"
#endif

#include <memory>
#include <string>
#include <vector>

#include "engine/file_system.h"
#include "platform/native.h"
#include "platform/posix/medium_image.h"
#include "platform/posix/posix_file_system.h"
#include "platform/whole_file.h"

namespace vostrel::posix {

// An image of the medium, and where it stands.
struct OpenImage : platform::OpenedImage {
  std::string root;    // the absolute path of its file, as the run names the source
  std::string native;  // that file, links followed
  uint64_t serial = 0;
  std::unique_ptr<MediumImage> image;
};

// Opens the image in the file at `root` (an absolute path); nullptr with the
// reason in `error`.
std::unique_ptr<OpenImage> OpenImageAt(const std::string& root, std::string& error);

class MediumFileSystem : public FileSystem {
 public:
  explicit MediumFileSystem(std::unique_ptr<OpenImage> image = nullptr);

  bool CreateFolder(const std::string& path) override;
  bool CopyOneFile(const std::string& existing, const std::string& target,
                   bool failIfExists) override;
  std::unique_ptr<FolderEnumeration> FindFirst(const std::string& pattern,
                                               FindData& first) override;
  unsigned long LastError() const override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool WriteProfileEntry(const std::string& section, const std::string& key,
                         const std::string& value, const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  std::string FullPath(const std::string& path) override;
  bool IdentifyFolder(const std::string& path, FolderId& id) override;
  bool GetInfo(const std::string& path, FileInfo& info) override;
  uint64_t LastCopySize() const override { return disk_.LastCopySize(); }
  // The native file system's settings (platform/native.h), for the one
  // around this (copies_ahead.h).
  platform::SkipListener SetSkipListener(platform::SkipListener onSkip);
  // Hears of a copy's bytes as they are written, from a folder or an image.
  void SetByteListener(platform::ByteListener onBytes) {
    disk_.SetByteListener(std::move(onBytes));
  }
  bool ReadMediumFile(const std::string& path, const platform::ChunkSink& take, std::string& error);
  // Stands another image, read-only, at the path of its file too: the image
  // of a kit checked against the medium.
  void AddImage(std::unique_ptr<OpenImage> image) { images_.push_back(std::move(image)); }
  // The disk under the medium: copies out of a folder on it may be made
  // ahead (copies_ahead.h); out of an image they are not (its enumerations
  // name nothing ahead).
  PosixFileSystem& Disk() { return disk_; }

 private:
  // The image `path` lies in, and the part of `path` below its root.
  const OpenImage* ImageOf(const std::string& path, std::string& relative) const;

  // The item `path` names in the image it lies in, or nullptr with the
  // error set (a file or a path not found).
  const ImageItem* Find(const OpenImage& open, const std::string& relative);
  std::unique_ptr<FolderEnumeration> FindInImage(const OpenImage& open, const std::string& relative,
                                                 const std::string& pattern, FindData& first);
  // True, with the error set, when `path` lies in an image.
  bool WriteProtected(const std::string& path);
  // What the last call answered: from an image, or from the disk.
  bool FromImage(unsigned long code);
  bool FromDisk(bool result);

  PosixFileSystem disk_;
  std::vector<std::unique_ptr<OpenImage>> images_;  // the medium's first, when it is one
  platform::SkipListener onSkip_;
  unsigned long lastError_ = 0;
  bool imageAnswered_ = false;
};

}  // namespace vostrel::posix
