// The engine's whole contact with the disk. One method per platform file
// operation the engine uses, with the arguments and result handling of the
// Win32 call it stands for. Paths are narrow Windows-form strings (root +
// suffix, '\' separators); a platform layer turns them into whatever its
// operating system needs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vostrel {

// Win32 error codes the engine and its callers read.
namespace win32_error {
constexpr unsigned long kSuccess = 0;
constexpr unsigned long kInvalidFunction = 1;
constexpr unsigned long kFileNotFound = 2;
constexpr unsigned long kPathNotFound = 3;
constexpr unsigned long kTooManyOpenFiles = 4;
constexpr unsigned long kAccessDenied = 5;
constexpr unsigned long kNotEnoughMemory = 8;
constexpr unsigned long kNoMoreFiles = 18;
constexpr unsigned long kGenFailure = 31;
constexpr unsigned long kSharingViolation = 32;
constexpr unsigned long kFileExists = 80;
constexpr unsigned long kInvalidParameter = 87;
constexpr unsigned long kDiskFull = 112;
constexpr unsigned long kInvalidName = 123;
constexpr unsigned long kDirNotEmpty = 145;
constexpr unsigned long kAlreadyExists = 183;
constexpr unsigned long kFilenameExcedRange = 206;
constexpr unsigned long kDirectory = 267;
// The command was asked to end (an interrupted run refuses further work).
constexpr unsigned long kOperationAborted = 995;
constexpr unsigned long kIoDevice = 1117;
constexpr unsigned long kCantResolveFilename = 1921;
}  // namespace win32_error

// Attribute bits as Win32 reports them.
constexpr uint32_t kFileAttributeReadOnly = 0x1;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeNormal = 0x80;
// A link (symbolic link or junction) to a file or folder.
constexpr uint32_t kFileAttributeReparsePoint = 0x400;

// One entry of a folder enumeration: the long file name and its attributes.
// The engine reads only the name and the folder bit.
struct FindData {
  std::string name;
  uint32_t attributes = 0;

  bool IsDirectory() const { return (attributes & kFileAttributeDirectory) != 0; }
};

// An open folder enumeration. Destroying it closes it (FindClose), so a walk
// closes its enumeration on every way out.
class FolderEnumeration {
 public:
  virtual ~FolderEnumeration() = default;
  // Yields the next entry. On failure (ERROR_NO_MORE_FILES at the end) the
  // code is available from the file system's LastError().
  virtual bool Next(FindData& entry) = 0;
  // The entries Next will still yield, where the file system holds them
  // already; empty when it does not (a hint for copies made ahead).
  virtual std::vector<FindData> Ahead() const { return {}; }
};

// Identity of a folder on disk, independent of the name used to reach it
// (device and inode, or volume serial and file index).
struct FolderId {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FolderId& other) const {
    return volume == other.volume && index == other.index;
  }
  bool operator!=(const FolderId& other) const { return !(*this == other); }
};

// What the dry run and the command line need to know of an existing item.
struct FileInfo {
  bool isDirectory = false;
  bool readOnly = false;
  uint64_t size = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // CreateDirectoryA(path, NULL): creates exactly one folder whose parent
  // exists. Fails with ERROR_ALREADY_EXISTS when the name is taken.
  virtual bool CreateFolder(const std::string& path) = 0;

  // CopyFileA(existing, target, failIfExists) (not named CopyFile: windows.h
  // defines that name as a macro): content and attributes (a
  // read-only source gives a read-only copy). With failIfExists the call
  // fails with ERROR_FILE_EXISTS and leaves an existing target unchanged.
  virtual bool CopyOneFile(const std::string& existing, const std::string& target,
                           bool failIfExists) = 0;

  // FindFirstFileA(pattern): pattern is folder + "\*.*". Returns nullptr
  // (INVALID_HANDLE_VALUE) when the folder is missing or yields no entry.
  virtual std::unique_ptr<FolderEnumeration> FindFirst(const std::string& pattern,
                                                       FindData& first) = 0;

  // GetLastError(): the code of the last failed call on this file system.
  virtual unsigned long LastError() const = 0;

  // SetFileAttributesA(path, attributes).
  virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;

  // WritePrivateProfileStringA(section, key, value, path).
  virtual bool WriteProfileEntry(const std::string& section, const std::string& key,
                                 const std::string& value, const std::string& path) = 0;

  // The C runtime's remove(path): deletes one file. A read-only file is not
  // deleted (access denied), as on Windows.
  virtual bool RemoveFile(const std::string& path) = 0;

  // Not Win32 calls the original made, but what the walk guards and the
  // command line need. Neither changes anything on disk.

  // The absolute form of a path, with the case of every component that
  // exists taken from the disk and links followed (on Windows
  // GetFullPathNameA, then the long name and the final path of the handle).
  virtual std::string FullPath(const std::string& path) = 0;

  // The identity of an existing folder (links followed). False when the
  // path is missing or not a folder.
  virtual bool IdentifyFolder(const std::string& path, FolderId& id) = 0;

  // Facts about an existing file or folder (links followed).
  virtual bool GetInfo(const std::string& path, FileInfo& info) = 0;

  // Bytes of the file the last successful CopyOneFile wrote.
  virtual uint64_t LastCopySize() const = 0;

  // Hints, not operations: a walk names the fail-if-exists copies it is
  // about to ask for (the files `names` of the folder `source`, each into
  // the folder `dest` under its name, in this order) and says when it leaves
  // that folder (the pairs nest as the walk does). A file system may make
  // them ahead, in parallel, but places each under its name only when
  // CopyOneFile asks for it, and drops those never asked for: nothing a run
  // does or reports may differ from a run without the hints.
  virtual void BeginCopiesAhead(const std::string& source, const std::string& dest,
                                const std::vector<std::string>& names) {
    (void)source, (void)dest, (void)names;
  }
  virtual void EndCopiesAhead() {}
};

}  // namespace vostrel
