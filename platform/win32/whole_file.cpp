// platform/whole_file.h on Windows: a pending file beside the target
// (platform/win32/pending_file.h), FlushFileBuffers, then moved over it. Also where an output a
// person names goes, and the writer into a stream (a device such as NUL, a pipe).
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

#include "engine/windows_path.h"
#include "platform/whole_file.h"
#include "platform/win32/pending_file.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_names.h"

namespace vostrel::platform {

namespace {

std::string Wording(DWORD code) {
  const std::string wording = Win32ErrorWording(code);
  return wording.empty() ? "error " + std::to_string(code) : wording;
}

bool Failed(std::string& error) {
  error = Wording(GetLastError());
  return false;
}

// WriteFile until all of `data` is written; false with GetLastError() set.
bool WriteAllTo(HANDLE handle, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(handle, data, chunk, &written, nullptr)) return false;
    data += written;
    size -= written;
  }
  return true;
}

// Writes into a stream as it is; standard output stays open.
class Win32Stream : public WholeFile {
 public:
  Win32Stream(HANDLE handle, bool owned) : handle_(handle), owned_(owned) {}
  ~Win32Stream() override {
    if (owned_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Win32Stream(const Win32Stream&) = delete;
  Win32Stream& operator=(const Win32Stream&) = delete;

  bool Write(const char* data, std::size_t size, std::string& error) override {
    return WriteAllTo(handle_, data, size) || Failed(error);
  }
  bool Commit(std::string& error) override {
    if (!owned_) return true;
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) || Failed(error);
  }

 private:
  HANDLE handle_;
  bool owned_;
};

// A pending file written through its handle, flushed, then put in place.
class Win32WholeFile : public WholeFile {
 public:
  explicit Win32WholeFile(const std::string& path) : file_(path) {}
  ~Win32WholeFile() override { Close(); }
  Win32WholeFile(const Win32WholeFile&) = delete;
  Win32WholeFile& operator=(const Win32WholeFile&) = delete;

  bool Begin(std::string& error) {
    const bool made = file_.Create([this](const std::string& temporary) {
      handle_ = names::CreateFileN(temporary, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
      return handle_ != INVALID_HANDLE_VALUE;
    });
    return made || Failed(error);
  }

  bool Write(const char* data, std::size_t size, std::string& error) override {
    if (handle_ == INVALID_HANDLE_VALUE) return Gone(error);
    return WriteAllTo(handle_, data, size) || Abandon(error);
  }

  bool Commit(std::string& error) override {
    if (handle_ == INVALID_HANDLE_VALUE) return Gone(error);
    if (!FlushFileBuffers(handle_)) return Abandon(error);
    if (!Close() || !file_.Replace()) return Abandon(error);
    // The folder is not flushed: Windows has no call for it, and after a
    // crash the name holds the old or the new file, whole either way.
    return true;
  }

 private:
  bool Close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle == INVALID_HANDLE_VALUE || CloseHandle(handle);
  }
  bool Abandon(std::string& error) {
    Failed(error);
    Close();
    file_.Drop();
    return false;
  }
  // A write after a failure, which has already removed the temporary.
  static bool Gone(std::string& error) {
    error = Wording(ERROR_INVALID_HANDLE);
    return false;
  }

  PendingFile file_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

std::string Win32ErrorWording(unsigned long code) {
  std::string wording = names::SystemMessageN(code);
  while (!wording.empty() && (wording.back() == '\n' || wording.back() == '\r' ||
                              wording.back() == ' ' || wording.back() == '.')) {
    wording.pop_back();
  }
  return wording;
}

std::FILE* OpenForReading(const std::string& path) {
  if (!names::Utf8()) return std::fopen(path.c_str(), "rb");
  std::wstring wide;
  return names::ToWide(path, wide) ? _wfopen(wide.c_str(), L"rb") : nullptr;
}

std::unique_ptr<WholeFile> BeginWholeFile(const std::string& path, std::string& error) {
  auto file = std::make_unique<Win32WholeFile>(path);
  if (!file->Begin(error)) return nullptr;
  return file;
}

std::unique_ptr<WholeFile> BeginStream(const std::string& path, std::string& error) {
  if (path == "-") return std::make_unique<Win32Stream>(GetStdHandle(STD_OUTPUT_HANDLE), false);
  const HANDLE handle = names::CreateFileN(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (handle == INVALID_HANDLE_VALUE) {
    Failed(error);
    return nullptr;
  }
  auto stream = std::make_unique<Win32Stream>(handle, true);
  // A file is never written over in place: only what is a device or a pipe.
  const DWORD type = GetFileType(handle);
  if (type != FILE_TYPE_CHAR && type != FILE_TYPE_PIPE) {
    error = "it is no longer a device or a pipe";
    return nullptr;
  }
  return stream;
}

OutputTarget LocateOutput(const std::string& path) {
  using Kind = OutputTarget::Kind;
  if (path == "-") return OutputTarget{Kind::kStream, path};
  const std::string full = Win32FullPathName(path);
  if (full.empty()) return OutputTarget{Kind::kNoFolder, path};
  // Devices (NUL, CON) and pipes are written into; what exists is judged by
  // a handle that asks for no access at all.
  const HANDLE handle =
      names::CreateFileN(full, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (handle != INVALID_HANDLE_VALUE) {
    const DWORD type = GetFileType(handle);
    BY_HANDLE_FILE_INFORMATION information;
    const bool folder = GetFileInformationByHandle(handle, &information) != 0 &&
                        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    CloseHandle(handle);
    if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) return OutputTarget{Kind::kStream, path};
    if (folder) return OutputTarget{Kind::kFolder, path};
  }
  // Links followed and names spelled as on disk, as the kit's roots are.
  const std::string file = Win32FileSystem().FullPath(full);
  const std::string folder = winpath::ParentOf(file);
  const DWORD attributes = names::GetFileAttributesN(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return OutputTarget{Kind::kNoFolder, folder};
  }
  return OutputTarget{Kind::kFile, file, file};
}

}  // namespace vostrel::platform
