// platform/whole_file.h on Windows: a hidden temporary beside the target,
// FlushFileBuffers, then MoveFileExA over it.
#include <windows.h>

#include <string>
#include <utility>

#include "platform/whole_file.h"

namespace vostrel::platform {

namespace {

constexpr int kAttempts = 100;

// The system's own wording of a Win32 code, without its line break.
std::string Wording(DWORD code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string wording = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!wording.empty() && (wording.back() == '\n' || wording.back() == '\r' ||
                              wording.back() == ' ' || wording.back() == '.')) {
    wording.pop_back();
  }
  return wording;
}

bool Failed(std::string& error) {
  error = Wording(GetLastError());
  return false;
}

class Win32WholeFile : public WholeFile {
 public:
  Win32WholeFile(std::string path, std::string temporary, HANDLE handle)
      : path_(std::move(path)), temporary_(std::move(temporary)), handle_(handle) {}
  ~Win32WholeFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) Discard();
  }
  Win32WholeFile(const Win32WholeFile&) = delete;
  Win32WholeFile& operator=(const Win32WholeFile&) = delete;

  bool Write(const char* data, std::size_t size, std::string& error) override {
    if (handle_ == INVALID_HANDLE_VALUE) return Gone(error);
    while (size > 0) {
      const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!WriteFile(handle_, data, chunk, &written, nullptr)) return Abandon(error);
      data += written;
      size -= written;
    }
    return true;
  }

  bool Commit(std::string& error) override {
    if (handle_ == INVALID_HANDLE_VALUE) return Gone(error);
    if (!FlushFileBuffers(handle_)) return Abandon(error);
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle) ||
        !MoveFileExA(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      Failed(error);
      DeleteFileA(temporary_.c_str());
      return false;
    }
    // The folder is not flushed: Windows has no call for it, and after a
    // crash the name holds the old or the new file, whole either way.
    return true;
  }

 private:
  bool Abandon(std::string& error) {
    Failed(error);
    Discard();
    return false;
  }
  void Discard() {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    DeleteFileA(temporary_.c_str());
  }
  // A write after a failure, which has already removed the temporary.
  static bool Gone(std::string& error) {
    error = Wording(ERROR_INVALID_HANDLE);
    return false;
  }

  std::string path_;
  std::string temporary_;
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<WholeFile> BeginWholeFile(const std::string& path, std::string& error) {
  const std::string folder = path.substr(0, path.find_last_of("\\/") + 1);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string temporary = folder + TemporaryName();
    const HANDLE handle = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      return std::make_unique<Win32WholeFile>(path, std::move(temporary), handle);
    }
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  Failed(error);
  return nullptr;
}

}  // namespace vostrel::platform
