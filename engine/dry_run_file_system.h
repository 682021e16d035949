// A FileSystem that answers reads from the disk below it and keeps every
// write in memory, so a run can be played through without touching the
// destination. It applies the rules the disk would: a folder needs an
// existing parent, copies fail when their target exists under any case,
// read-only files cannot be removed or rewritten.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/file_system.h"
#include "engine/forwarding_file_system.h"
#include "engine/recording_file_system.h"

namespace vostrel {

class DryRunFileSystem : public ForwardingFileSystem {
 public:
  explicit DryRunFileSystem(FileSystem& disk) : ForwardingFileSystem(disk) {}

  // Called for every operation that succeeds and changes something, in
  // order: the would-be effect of the run. `bytes` is set for copies.
  void SetChangeObserver(std::function<void(const Operation&)> observer) {
    changeObserver_ = std::move(observer);
  }

  // Treats `folder` as an existing, empty folder whatever the disk holds
  // there, so a run can be planned as if into a fresh destination.
  void PretendEmptyFolder(const std::string& folder);

  bool CreateFolder(const std::string& path) override;
  bool CopyOneFile(const std::string& existing, const std::string& target,
                   bool failIfExists) override;
  std::unique_ptr<FolderEnumeration> FindFirst(const std::string& pattern,
                                               FindData& first) override;
  unsigned long LastError() const override { return lastError_; }
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool WriteProfileEntry(const std::string& section, const std::string& key,
                         const std::string& value, const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool IdentifyFolder(const std::string& path, FolderId& id) override;
  bool GetInfo(const std::string& path, FileInfo& info) override;
  uint64_t LastCopySize() const override { return lastCopySize_; }
  // Deliberately not passed on: nothing is copied, so the disk below must
  // not start copies ahead.
  void BeginCopiesAhead(const std::string&, const std::string&,
                        const std::vector<std::string>&) override {}
  void EndCopiesAhead() override {}

 private:
  class Enumeration;

  // An item made by the run: a folder, or a file copied or written.
  struct VirtualItem {
    std::string name;  // the last component as the run spelled it
    bool isDirectory = false;
    bool readOnly = false;
    uint64_t size = 0;
    uint64_t serial = 0;  // a folder's identity among virtual folders
  };

  // A resolved path: the absolute form with its case from the disk, and the
  // key that compares equal for every spelling of the same item
  // (winpath::PathKey).
  struct Resolved {
    std::string full;
    std::u16string key;
  };

  Resolved Resolve(const std::string& path);
  Resolved Parent(const Resolved& item);
  // What the overlay of memory on disk holds at `item`.
  bool Lookup(const Resolved& item, FileInfo& info);
  bool IsHidden(const std::u16string& key) const;
  // Why a missing item is missing: 2 when its folder exists, else 3.
  unsigned long MissingCode(const Resolved& item);
  bool Fail(unsigned long code);
  void Changed(Operation change);

  std::map<std::u16string, VirtualItem> items_;      // by key
  std::set<std::u16string> removed_;                 // items gone from the disk, by key
  std::map<std::u16string, bool> readOnlyOverride_;  // disk files' new read-only bit
  std::u16string hiddenKey_;                         // PretendEmptyFolder's folder
  std::string hiddenPath_;                           // ... as given
  std::string hiddenFull_;                           // ... resolved
  std::function<void(const Operation&)> changeObserver_;
  unsigned long lastError_ = 0;
  uint64_t lastCopySize_ = 0;
  uint64_t nextSerial_ = 1;
};

}  // namespace vostrel
