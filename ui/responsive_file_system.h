// The window's file system during a run: every operation runs on a worker
// thread while the window's thread waits for it, answering the messages
// other threads and programs send it and repainting what is uncovered. So the
// system never takes the window for hung, even while one large file is
// copied from a slow medium. Input (clicks, keys) and posted messages stay
// queued until the run is over, and the engine sees the same calls in the
// same order as without it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/file_system.h"
#include "engine/forwarding_file_system.h"

// The error and size of the last call are read where the worker left them.
class ResponsiveFileSystem final : public vostrel::ForwardingFileSystem {
 public:
  explicit ResponsiveFileSystem(vostrel::FileSystem& inner);
  ~ResponsiveFileSystem() override;
  ResponsiveFileSystem(const ResponsiveFileSystem&) = delete;
  ResponsiveFileSystem& operator=(const ResponsiveFileSystem&) = delete;

  bool CreateFolder(const std::string& path) override;
  bool CopyOneFile(const std::string& existing, const std::string& target,
                   bool failIfExists) override;
  std::unique_ptr<vostrel::FolderEnumeration> FindFirst(const std::string& pattern,
                                                        vostrel::FindData& first) override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool WriteProfileEntry(const std::string& section, const std::string& key,
                         const std::string& value, const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  std::string FullPath(const std::string& path) override;
  bool IdentifyFolder(const std::string& path, vostrel::FolderId& id) override;
  bool GetInfo(const std::string& path, vostrel::FileInfo& info) override;
  void BeginCopiesAhead(const std::string& source, const std::string& dest,
                        const std::vector<std::string>& names) override;
  void EndCopiesAhead() override;

 private:
  class Worker;
  class Enumeration;

  // Runs `call` on the worker and hands back its result.
  template <typename Call>
  auto OnWorker(Call call) -> decltype(call());

  std::unique_ptr<Worker> worker_;
};
