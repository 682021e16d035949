// The platform seams of platform/native.h on Win32.
#include "platform/native.h"

#include <windows.h>

#include <cstdio>

#include "engine/windows_path.h"
#include "platform/disc_image.h"
#include "platform/win32/win32_file_system.h"

namespace vostrel::platform {

namespace {

class Win32FolderLock : public FolderLock {
 public:
  explicit Win32FolderLock(HANDLE mutex = nullptr) : mutex_(mutex) {}
  ~Win32FolderLock() override {
    if (mutex_ == nullptr) return;
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
  Win32FolderLock(const Win32FolderLock&) = delete;
  Win32FolderLock& operator=(const Win32FolderLock&) = delete;

 private:
  HANDLE mutex_;
};

}  // namespace

std::unique_ptr<NativeFileSystem> MakeNativeFileSystem(std::unique_ptr<OpenedImage> image) {
  (void)image;  // this build opens none (OpenImageSource)
  return std::make_unique<Win32FileSystem>();
}

bool Win32FileSystem::ReadMediumFile(const std::string& path, const ChunkSink& take,
                                     std::string& error) {
  return ReadWholeFile(FullPath(path), take, error);
}

// Windows reads an image once Explorer has mounted it as a drive; this
// build reads media from drives and folders only.
ImageSource OpenImageSource(const std::string& path, std::unique_ptr<OpenedImage>& image,
                            std::string& error, const char* option) {
  (void)image;
  if (RecogniseDiscImage(path) == DiscImageKind::kNotImage) return ImageSource::kNotImage;
  error = path +
          " is an image of a disc, which this build does not read: open (mount) it in Explorer "
          "and pass the drive it gets, e.g. " +
          option + " E:\\";
  return ImageSource::kRefused;
}

std::unique_ptr<FolderLock> LockFolder(const std::string& path, std::string& held) {
  held.clear();
  // A mutex named after the folder's identity (volume serial number and file
  // index), so every spelling of the folder and every link to it meet the
  // same one; it goes when its last holder ends, however it ends.
  FolderId id;
  if (!Win32FileSystem().IdentifyFolder(path, id)) return std::make_unique<Win32FolderLock>();
  char name[64];
  std::snprintf(name, sizeof name, "vostrel-kit-folder-%08llx-%016llx",
                static_cast<unsigned long long>(id.volume),
                static_cast<unsigned long long>(id.index));
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) return std::make_unique<Win32FolderLock>();
  if (WaitForSingleObject(mutex, 0) == WAIT_TIMEOUT) {
    CloseHandle(mutex);
    return nullptr;
  }
  return std::make_unique<Win32FolderLock>(mutex);
}

std::string AbsolutePath(const std::string& path) { return Win32FullPathName(path); }

char PreferredSeparator() { return '\\'; }

std::string NativeToUtf8(const std::string& text) {
  if (text.empty()) return text;
  int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (wide <= 0) return text;
  std::wstring utf16(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &utf16[0], wide);
  int narrow = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return text;
  std::string utf8(static_cast<std::size_t>(narrow), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, &utf8[0], narrow, nullptr, nullptr);
  return utf8;
}

// The mutex names a folder's identity alone; nesting is not seen here.
std::optional<std::string> FolderHeldNear(const std::string& path) {
  (void)path;
  return std::nullopt;
}

}  // namespace vostrel::platform
