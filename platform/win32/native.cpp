// The platform seams of platform/native.h on Win32.
#include "platform/native.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/windows_path.h"
#include "platform/disc_image.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_names.h"

namespace vostrel::platform {

namespace {

// The kernel objects of one held folder, named after folders' identities
// (volume serial number and file index), so every spelling of a folder and
// every link to it meet the same ones. They go when their last holder ends,
// however it ends.
std::string ObjectName(const char* kind, const FolderId& id) {
  char name[80];
  std::snprintf(name, sizeof name, "vostrel-kit-%s-%08llx-%016llx", kind,
                static_cast<unsigned long long>(id.volume),
                static_cast<unsigned long long>(id.index));
  return name;
}

// The folder, then each folder above it that exists, with its identity.
std::vector<std::pair<std::string, FolderId>> FoldersUpFrom(const std::string& path) {
  std::vector<std::pair<std::string, FolderId>> folders;
  Win32FileSystem disk;
  for (std::string folder = Win32FullPathName(path); !folder.empty();) {
    FolderId id;
    if (disk.IdentifyFolder(folder, id)) folders.emplace_back(folder, id);
    std::string above = winpath::FolderOf(folder);
    if (above == folder) break;
    folder = std::move(above);
  }
  return folders;
}

// Whether another process owns the mutex `name` now.
bool OwnedElsewhere(const std::string& name) {
  const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  if (mutex == nullptr) return false;
  const DWORD waited = WaitForSingleObject(mutex, 0);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(mutex);
  CloseHandle(mutex);
  return waited == WAIT_TIMEOUT;
}

constexpr DWORD kNoteSize = 32 * 1024 + 1;  // a path, nul-terminated

// A note: a small named memory holding a held folder's path as its run named it.
HANDLE WriteNote(const std::string& name, const std::string& path) {
  const HANDLE note =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kNoteSize, name.c_str());
  if (note == nullptr) return nullptr;
  if (void* view = MapViewOfFile(note, FILE_MAP_WRITE, 0, 0, kNoteSize)) {
    std::snprintf(static_cast<char*>(view), kNoteSize, "%s", path.c_str());
    UnmapViewOfFile(view);
  }
  return note;
}

std::optional<std::string> ReadNote(const std::string& name) {
  const HANDLE note = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
  if (note == nullptr) return std::nullopt;
  std::string path;
  if (const void* view = MapViewOfFile(note, FILE_MAP_READ, 0, 0, kNoteSize)) {
    path.assign(static_cast<const char*>(view), strnlen(static_cast<const char*>(view), kNoteSize));
    UnmapViewOfFile(view);
  }
  CloseHandle(note);
  return path;
}

// The folder at or above `path` that another run holds ("" for `path`
// itself), or one inside it; nothing when there is none.
std::optional<std::string> HeldNear(const std::string& path) {
  const auto folders = FoldersUpFrom(path);
  const std::string full = Win32FullPathName(path);
  for (const auto& [folder, id] : folders) {
    if (!OwnedElsewhere(ObjectName("folder", id))) continue;
    if (folder == full) return std::string();
    const std::optional<std::string> named = ReadNote(ObjectName("held", id));
    return named && !named->empty() ? *named : folder;
  }
  if (!folders.empty() && folders.front().first == full) {
    return ReadNote(ObjectName("inside", folders.front().second));
  }
  return std::nullopt;
}

class Win32FolderLock : public FolderLock {
 public:
  explicit Win32FolderLock(HANDLE mutex = nullptr) : mutex_(mutex) {}
  ~Win32FolderLock() override {
    for (HANDLE note : notes_) CloseHandle(note);
    if (mutex_ == nullptr) return;
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
  Win32FolderLock(const Win32FolderLock&) = delete;
  Win32FolderLock& operator=(const Win32FolderLock&) = delete;

  // Says which folder this run holds, under its identity and under each
  // folder above it, for runs into a folder inside or above it.
  void Announce(const std::string& path) {
    const auto folders = FoldersUpFrom(path);
    for (std::size_t i = 0; i < folders.size(); ++i) {
      const HANDLE note =
          WriteNote(ObjectName(i == 0 ? "held" : "inside", folders[i].second), path);
      if (note != nullptr) notes_.push_back(note);
    }
  }

 private:
  HANDLE mutex_;
  std::vector<HANDLE> notes_;
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
  FolderId id;
  if (!Win32FileSystem().IdentifyFolder(path, id)) return std::make_unique<Win32FolderLock>();
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, ObjectName("folder", id).c_str());
  if (mutex == nullptr) return std::make_unique<Win32FolderLock>();
  if (WaitForSingleObject(mutex, 0) == WAIT_TIMEOUT) {
    CloseHandle(mutex);
    return nullptr;
  }
  auto lock = std::make_unique<Win32FolderLock>(mutex);
  // Announced before the others are looked for: of two runs nested in each
  // other that start together, at least one sees the other.
  lock->Announce(path);
  if (const std::optional<std::string> other = HeldNear(path)) {
    held = *other;
    return nullptr;
  }
  return lock;
}

std::string AbsolutePath(const std::string& path) { return Win32FullPathName(path); }

char PreferredSeparator() { return '\\'; }

std::string NativeToUtf8(const std::string& text) {
  if (text.empty() || names::Utf8()) return text;
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

std::vector<std::string> UseUtf8Names(int argc, char** argv) {
  names::SetUtf8(true);
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(names::FromWide(std::wstring(wide[i])));
  LocalFree(wide);
  return arguments;
}

std::optional<std::string> FolderHeldNear(const std::string& path) { return HeldNear(path); }

}  // namespace vostrel::platform
