// SIGINT and SIGTERM during a command. The handler only notes the signal:
// the run ends after the file being copied (the file system below refuses
// any further work), its temporaries are removed on the way out as on any
// other, and the process then ends by that same signal.
#pragma once

#include <memory>
#include <string>

#include "engine/file_system.h"

namespace vostrel::cli {

// From now on SIGINT and SIGTERM are noted instead of ending the process
// (and on Linux a closed pipe fails a write instead of ending it).
void CatchInterruptions();

// The signal that asked the command to end, or 0.
int Interruption();

// Says `message` on stderr after the tool's prefix, then ends the process
// by `signal` as if it had never been caught (a shell sees 128 + signal).
[[noreturn]] void EndByInterruption(int signal, const std::string& message);

// A FileSystem that passes every call on until the command is interrupted,
// then refuses every operation with kOperationAborted, so the engine's
// steps and walks end at once. Queries (FullPath, IdentifyFolder, GetInfo)
// still pass.
class InterruptibleFileSystem : public FileSystem {
 public:
  explicit InterruptibleFileSystem(FileSystem& inner) : inner_(inner) {}

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
  // True once interrupted, with LastError() then kOperationAborted; the
  // answer of the inner call is taken again at the next pass.
  bool Stopped();

  FileSystem& inner_;
  bool aborted_ = false;
};

}  // namespace vostrel::cli
