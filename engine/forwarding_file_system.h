// A FileSystem that passes every call, the copies-ahead hints included, to
// the file system below it. A wrapper derives from it and overrides only
// what it changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/file_system.h"

namespace vostrel {

class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}

  bool CreateFolder(const std::string& path) override { return inner_.CreateFolder(path); }
  bool CopyOneFile(const std::string& existing, const std::string& target,
                   bool failIfExists) override {
    return inner_.CopyOneFile(existing, target, failIfExists);
  }
  std::unique_ptr<FolderEnumeration> FindFirst(const std::string& pattern,
                                               FindData& first) override {
    return inner_.FindFirst(pattern, first);
  }
  unsigned long LastError() const override { return inner_.LastError(); }
  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    return inner_.SetAttributes(path, attributes);
  }
  bool WriteProfileEntry(const std::string& section, const std::string& key,
                         const std::string& value, const std::string& path) override {
    return inner_.WriteProfileEntry(section, key, value, path);
  }
  bool RemoveFile(const std::string& path) override { return inner_.RemoveFile(path); }
  std::string FullPath(const std::string& path) override { return inner_.FullPath(path); }
  bool IdentifyFolder(const std::string& path, FolderId& id) override {
    return inner_.IdentifyFolder(path, id);
  }
  bool GetInfo(const std::string& path, FileInfo& info) override {
    return inner_.GetInfo(path, info);
  }
  uint64_t LastCopySize() const override { return inner_.LastCopySize(); }
  void BeginCopiesAhead(const std::string& source, const std::string& dest,
                        const std::vector<std::string>& names) override {
    inner_.BeginCopiesAhead(source, dest, names);
  }
  void EndCopiesAhead() override { inner_.EndCopiesAhead(); }

 protected:
  FileSystem& inner_;
};

}  // namespace vostrel
