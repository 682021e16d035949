// The engine's FileSystem on kernel32: each operation is the one Win32 call
// it stands for, in the ANSI or the wide form as the process spells names
// (platform/win32/win32_names.h), with the same arguments, and LastError()
// is the GetLastError() value taken right after the call that failed. In the
// code page, a name listed with '?' (one it has no spelling for) fails every
// call with ERROR_NO_UNICODE_TRANSLATION.
#pragma once

#ifndef VOSTREL_WIN32_LAYER
#error "platform/win32/win32_file_system.h is private to the Win32 layer: include platform/*.h"
#endif

#include <memory>
#include <string>

#include "engine/file_system.h"
#include "platform/native.h"

namespace vostrel::platform {

class Win32FileSystem : public NativeFileSystem {
 public:
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
  std::string FullPath(const std::string& path) override;
  bool IdentifyFolder(const std::string& path, FolderId& id) override;
  bool GetInfo(const std::string& path, FileInfo& info) override;
  uint64_t LastCopySize() const override { return lastCopySize_; }

  // Every name Windows lists is a name Windows can open: nothing is skipped.
  SkipListener SetSkipListener(SkipListener) override { return nullptr; }
  // CopyFile says nothing until a copy ends, which the run counts itself.
  void SetByteListener(ByteListener) override {}
  // Copies are made one at a time, whatever `jobs` asks.
  void CopyAheadWith(unsigned) override {}
  bool ReadMediumFile(const std::string& path, const ChunkSink& take, std::string& error) override;

 private:
  class Enumeration;
  // Takes GetLastError() of the call that just failed; always returns false.
  bool Fail();

  unsigned long lastError_ = 0;
  uint64_t lastCopySize_ = 0;
};

// The system's wording of a Win32 error code, without its line break and
// final period; empty when the system has none.
std::string Win32ErrorWording(unsigned long code);

// A fresh hidden name in the folder of `target`, for a file being written
// there until it is put in place.
std::string TemporaryBeside(const std::string& target);

// GetFullPathName: the absolute form of `path` against the current folder,
// without touching the disk. Empty on failure.
std::string Win32FullPathName(const std::string& path);

}  // namespace vostrel::platform
