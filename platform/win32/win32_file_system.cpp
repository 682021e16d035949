#include "platform/win32/win32_file_system.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "engine/windows_path.h"
#include "platform/win32/pending_file.h"
#include "platform/win32/win32_names.h"

namespace vostrel::platform {

namespace {

using winpath::IsFullyQualified;
using winpath::IsSeparator;
using winpath::RootLength;

// The name of one existing item as the disk spells it (FindFirstFile on the
// exact name); empty when it does not exist or the name is a pattern.
std::string NameOnDisk(const std::string& path) {
  if (winpath::LastName(path).find_first_of("*?") != std::string::npos) return std::string();
  FindData entry;
  names::Listing listing;
  return listing.First(path, entry) ? entry.name : std::string();
}

// Where an existing file or folder really lies, links followed; empty when
// that cannot be told.
std::string FinalPathName(const std::string& path) {
  HANDLE handle =
      names::CreateFileN(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == INVALID_HANDLE_VALUE) return std::string();
  const std::string buffer = names::FinalPathNameN(handle);
  CloseHandle(handle);
  if (buffer.empty()) return buffer;
  // The answer comes in the \\?\ form: back to the form a person types.
  if (buffer.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\" + buffer.substr(7);
  if (buffer.compare(0, 4, "\\\\?\\") == 0) return buffer.substr(4);
  return buffer;
}

}  // namespace

std::string Win32FullPathName(const std::string& path) { return names::FullPathNameN(path); }

class Win32FileSystem::Enumeration : public FolderEnumeration {
 public:
  Enumeration(Win32FileSystem& owner, std::unique_ptr<names::Listing> listing)
      : owner_(owner), listing_(std::move(listing)) {}

  bool Next(FindData& entry) override { return listing_->Next(entry) || owner_.Fail(); }

 private:
  Win32FileSystem& owner_;
  std::unique_ptr<names::Listing> listing_;  // closed with the enumeration
};

bool Win32FileSystem::Fail() {
  lastError_ = GetLastError();
  return false;
}

bool Win32FileSystem::CreateFolder(const std::string& path) {
  if (!names::CreateDirectoryN(path)) return Fail();
  return true;
}

bool Win32FileSystem::CopyOneFile(const std::string& existing, const std::string& target,
                                  bool failIfExists) {
  if (!failIfExists) {
    if (!names::CopyFileN(existing, target, FALSE)) return Fail();
  } else {
    // The copy is made under a hidden name and moved into place only when it
    // is complete, so a full disk or a killed run never leaves a partial file
    // under the final name, where a rerun would keep it as already present.
    // MoveFile, like CopyFile with fail-if-exists, never replaces a file.
    if (names::GetFileAttributesN(target) != INVALID_FILE_ATTRIBUTES) {
      lastError_ = ERROR_FILE_EXISTS;
      return false;
    }
    PendingFile copy(target);
    const bool made = copy.Create([&](const std::string& temporary) {
      return names::CopyFileN(existing, temporary, TRUE) != 0;
    });
    if (!made) return Fail();
    if (!copy.Place()) {
      const DWORD code = GetLastError();
      copy.Drop();
      lastError_ = code == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : code;
      return false;
    }
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  lastCopySize_ = names::GetFileAttributesExN(target, data)
                      ? (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow
                      : 0;
  return true;
}

std::unique_ptr<FolderEnumeration> Win32FileSystem::FindFirst(const std::string& pattern,
                                                              FindData& first) {
  auto listing = std::make_unique<names::Listing>();
  if (!listing->First(pattern, first)) {
    Fail();
    // A folder that is missing or is a file lists as an empty one, as on
    // Linux, whatever code the system gives for it (123 under Wine, 267 or 3
    // on Windows): the walk reads "path not found".
    if (lastError_ == ERROR_INVALID_NAME || lastError_ == ERROR_DIRECTORY) {
      const DWORD folder = names::GetFileAttributesN(winpath::ParentOf(pattern));
      if (folder == INVALID_FILE_ATTRIBUTES || (folder & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        lastError_ = ERROR_PATH_NOT_FOUND;
      }
    }
    return nullptr;
  }
  return std::make_unique<Enumeration>(*this, std::move(listing));
}

bool Win32FileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  if (!names::SetFileAttributesN(path, attributes)) return Fail();
  return true;
}

bool Win32FileSystem::WriteProfileEntry(const std::string& section, const std::string& key,
                                        const std::string& value, const std::string& path) {
  // A path that is not fully qualified would make Windows edit a file of that
  // name in the Windows folder, far from the kit: take it against the current
  // folder instead.
  std::string file = IsFullyQualified(path) ? path : Win32FullPathName(path);
  if (file.empty()) file = path;
  // Windows refuses to edit a read-only file; Wine run by root would edit it
  // all the same, so the attribute is checked here.
  DWORD attributes = names::GetFileAttributesN(file);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return Fail();
  }
  if (!names::WritePrivateProfileStringN(section, key, value, file)) {
    return Fail();
  }
  return true;
}

bool Win32FileSystem::RemoveFile(const std::string& path) {
  _doserrno = 0;
  if (names::RemoveN(path) == 0) return true;
  // The C runtime reports errno; the engine reads Win32 codes.
  if (errno == EACCES) {
    lastError_ = win32_error::kAccessDenied;
  } else if (errno == ENOENT) {
    lastError_ = win32_error::kFileNotFound;
  } else {
    lastError_ = _doserrno != 0 ? _doserrno : win32_error::kGenFailure;
  }
  return false;
}

// The queries below are not calls the engine's steps make, so they leave
// LastError() as the last real operation set it.

namespace {

// A drive-root medium's root is "X:" (StripFileName of "X:\setup.exe"; its
// paths are root + "\\name"): alone, Windows would take it for the drive's
// current folder, which the folder picker may just have made the kit's.
std::string RootAsFolder(const std::string& path) {
  return path.size() == 2 && path[1] == ':' ? path + "\\" : path;
}

}  // namespace

std::string Win32FileSystem::FullPath(const std::string& path) {
  std::string full = Win32FullPathName(RootAsFolder(path));
  if (full.empty()) return full;
  // Spell every component that exists as the disk does, from the top down
  // (GetLongPathName keeps the case it is handed); the rest stays as given.
  size_t root = RootLength(full);
  std::string existing = full.substr(0, root);
  size_t consumed = root;  // full[0, consumed) is what `existing` spells
  size_t start = root;
  while (start < full.size()) {
    size_t end = full.find_first_of("\\/", start);
    if (end == std::string::npos) end = full.size();
    if (end > start) {
      std::string parent = existing + full.substr(consumed, start - consumed);
      std::string name = NameOnDisk(parent + full.substr(start, end - start));
      if (name.empty()) break;
      existing = parent + name;
      consumed = end;
    }
    start = end + 1;
  }
  std::string rest = full.substr(consumed);
  // Follow links in the part that exists, so a link on the medium that leads
  // into the kit is seen for what it is.
  if (consumed > root) {
    std::string final = FinalPathName(existing);
    if (!final.empty()) existing = final;
  }
  if (!existing.empty() && IsSeparator(existing.back()) && !rest.empty() &&
      IsSeparator(rest.front())) {
    rest.erase(0, 1);
  }
  return existing + rest;
}

bool Win32FileSystem::IdentifyFolder(const std::string& path, FolderId& id) {
  HANDLE handle = names::CreateFileN(RootAsFolder(path), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  bool ok = GetFileInformationByHandle(handle, &information) != 0 &&
            (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  CloseHandle(handle);
  if (!ok) return false;
  id.volume = information.dwVolumeSerialNumber;
  id.index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return true;
}

bool Win32FileSystem::GetInfo(const std::string& path, FileInfo& info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!names::GetFileAttributesExN(path, data)) return false;
  info.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  info.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

}  // namespace vostrel::platform
