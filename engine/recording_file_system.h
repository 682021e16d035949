// A FileSystem wrapper that records every operation with its arguments and
// result, in order, before handing the result back. The command line builds
// its report and summary from the record; tests assert exact call orders.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/file_system.h"

namespace vostrel {

enum class OperationKind {
  kCreateFolder,
  kCopyFile,
  kFindFirst,  // path: the pattern
  kFindEnd,    // path: the pattern; code: the error that ended the walk of it
  kSetAttributes,
  kWriteProfile,
  kRemoveFile,
};

// The Win32 name of the call an operation stands for ("CopyFileA", ...).
const char* OperationName(OperationKind kind);

struct Operation {
  OperationKind kind;
  std::string path;                 // the folder, file, pattern or profile file operated on
  std::string target;               // CopyFile: the new file
  std::string section, key, value;  // WriteProfile
  uint32_t attributes = 0;          // SetAttributes
  bool ok = false;
  unsigned long code = 0;  // 0 on success, else the Win32 error code
  uint64_t bytes = 0;      // CopyFile: bytes written on success
};

class RecordingFileSystem : public FileSystem {
 public:
  explicit RecordingFileSystem(FileSystem& inner) : inner_(inner) {}

  // Called with each operation as soon as it has its result.
  void SetObserver(std::function<void(const Operation&)> observer) {
    observer_ = std::move(observer);
  }
  // Without a full record (the default keeps every operation) only the last
  // operation is held, so memory does not grow with the medium.
  void SetKeepAll(bool keepAll) { keepAll_ = keepAll; }
  // Once `stop` says so, every further operation (and the next entry of an
  // open enumeration) is refused with kOperationAborted without reaching
  // the file system below: a run asked to end does no more work, and its
  // walks end at once.
  void SetStop(std::function<bool()> stop) { stop_ = std::move(stop); }
  const std::vector<Operation>& operations() const { return operations_; }

  bool CreateFolder(const std::string& path) override;
  bool CopyOneFile(const std::string& existing, const std::string& target,
                   bool failIfExists) override;
  std::unique_ptr<FolderEnumeration> FindFirst(const std::string& pattern,
                                               FindData& first) override;
  unsigned long LastError() const override {
    return stopped_ ? win32_error::kOperationAborted : inner_.LastError();
  }
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool WriteProfileEntry(const std::string& section, const std::string& key,
                         const std::string& value, const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  std::string FullPath(const std::string& path) override { return inner_.FullPath(path); }
  bool IdentifyFolder(const std::string& path, FolderId& id) override {
    return inner_.IdentifyFolder(path, id);
  }
  bool GetInfo(const std::string& path, FileInfo& info) override {
    return inner_.GetInfo(path, info);
  }
  uint64_t LastCopySize() const override { return inner_.LastCopySize(); }

 private:
  class Enumeration;
  bool Record(Operation operation, bool ok);
  bool Stopped();

  FileSystem& inner_;
  std::vector<Operation> operations_;
  std::function<void(const Operation&)> observer_;
  std::function<bool()> stop_;
  bool stopped_ = false;
  bool keepAll_ = true;
};

}  // namespace vostrel
