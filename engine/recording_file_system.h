// A FileSystem wrapper that records every operation with its arguments and
// result, in order, before handing the result back. The command line builds
// its report and summary from the record; tests assert exact call orders.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/file_system.h"
#include "engine/forwarding_file_system.h"

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

// Reads (FullPath, IdentifyFolder, GetInfo) and the end of copies ahead pass
// through unrecorded.
class RecordingFileSystem : public ForwardingFileSystem {
 public:
  explicit RecordingFileSystem(FileSystem& inner) : ForwardingFileSystem(inner) {}

  // Called with each operation as soon as it has its result.
  void SetObserver(std::function<void(const Operation&)> observer) {
    observer_ = std::move(observer);
  }
  // Without a full record (the default keeps every operation) only the last
  // operation is held, so memory does not grow with the medium.
  void SetKeepAll(bool keepAll) { keepAll_ = keepAll; }
  // Asked before each operation (and before the next entry of an open
  // enumeration, as kFindEnd) with its arguments: 0 lets it through, any
  // other code refuses it with that code without reaching the file system
  // below. The command line's guard ends an interrupted run's work and keeps
  // a run from writing through a link in the kit.
  void SetGuard(std::function<unsigned long(const Operation&)> guard) { guard_ = std::move(guard); }
  const std::vector<Operation>& operations() const { return operations_; }

  bool CreateFolder(const std::string& path) override;
  bool CopyOneFile(const std::string& existing, const std::string& target,
                   bool failIfExists) override;
  std::unique_ptr<FolderEnumeration> FindFirst(const std::string& pattern,
                                               FindData& first) override;
  unsigned long LastError() const override { return refused_ != 0 ? refused_ : inner_.LastError(); }
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool WriteProfileEntry(const std::string& section, const std::string& key,
                         const std::string& value, const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  // Passed on only where the guard would let the folder's copies through:
  // nothing is made ahead in a kit folder that is a link elsewhere, nor
  // once a run was interrupted.
  void BeginCopiesAhead(const std::string& source, const std::string& dest,
                        const std::vector<std::string>& names) override;

 private:
  class Enumeration;
  bool Record(Operation operation, bool ok);
  // The record of a copy, the run's most frequent operation: where only the
  // last operation is held it is written over that one, whose storage it
  // reuses, so recording a copy allocates nothing. Recorded() ends it as
  // Record() ends another.
  Operation& StartCopy(const std::string& existing, const std::string& target);
  bool Recorded(Operation& copy, bool ok);
  // Whether the guard lets `operation` through; LastError() then holds its
  // refusal until the next operation.
  bool Allowed(const Operation& operation);
  // Allowed() for the next entry of an enumeration of `pattern`.
  bool NextAllowed(const std::string& pattern);

  std::vector<Operation> operations_;
  Operation copy_{};  // the copy under way where every operation is kept
  std::function<void(const Operation&)> observer_;
  std::function<unsigned long(const Operation&)> guard_;
  unsigned long refused_ = 0;
  bool keepAll_ = true;
  Operation nextEntry_{};  // NextAllowed's
};

}  // namespace vostrel
