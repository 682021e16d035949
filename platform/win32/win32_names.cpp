#include "platform/win32/win32_names.h"

#include <cstdio>
#include <utility>

namespace vostrel::platform::names {

namespace {

bool utf8Names = false;

UINT CodePage() { return utf8Names ? CP_UTF8 : CP_ACP; }

// A call on one path (then `rest` of its arguments): the ANSI form with the
// path as it is, or the wide form with its UTF-16 spelling; `failed` when
// the path has none.
template <typename Result, typename Ansi, typename Wide, typename... Rest>
Result OnPath(const std::string& path, Result failed, Ansi&& ansi, Wide&& wide, Rest... rest) {
  if (!utf8Names) {
    if (CannotBeSpelled(path)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return failed;
    }
    return ansi(path.c_str(), rest...);
  }
  std::wstring wideName;
  if (!ToWide(path, wideName)) return failed;
  return wide(wideName.c_str(), rest...);
}

// The same on two paths.
template <typename Ansi, typename Wide, typename... Rest>
BOOL OnPaths(const std::string& first, const std::string& second, Ansi&& ansi, Wide&& wide,
             Rest... rest) {
  return OnPath(
      first, FALSE,
      [&](const char* a) {
        return OnPath(
            second, FALSE, [&](const char* b) { return ansi(a, b, rest...); },
            [](const wchar_t*) { return FALSE; });
      },
      [&](const wchar_t* a) {
        return OnPath(
            second, FALSE, [](const char*) { return FALSE; },
            [&](const wchar_t* b) { return wide(a, b, rest...); });
      });
}

template <typename Data>
FindData Entry(const Data& data) {
  FindData entry;
  entry.name = FromWide(data.cFileName, std::char_traits<wchar_t>::length(data.cFileName));
  entry.attributes = data.dwFileAttributes;
  return entry;
}

FindData Entry(const WIN32_FIND_DATAA& data) {
  FindData entry;
  entry.name = data.cFileName;
  entry.attributes = data.dwFileAttributes;
  return entry;
}

// The entry of a listing call that fills `Data`; false when it fails.
template <typename Data, typename Call>
bool Take(Call&& call, FindData& entry) {
  Data data;
  if (!call(&data)) return false;
  entry = Entry(data);
  return true;
}

// Through void(*)(), the one function type any other converts from cleanly.
template <typename Function>
Function Kernel32Function(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  FARPROC address = kernel ? GetProcAddress(kernel, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

// Calls `fill(buffer, size)`, which returns the length it needs or wrote
// (without the terminator, 0 on failure), with a buffer grown until it fits.
template <typename Char, typename Fill>
std::basic_string<Char> Grown(Fill&& fill) {
  std::basic_string<Char> buffer(MAX_PATH, Char());
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = fill(&buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) break;
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.assign(length + 1, Char());
  }
  return std::basic_string<Char>();
}

}  // namespace

bool Utf8() { return utf8Names; }
void SetUtf8(bool utf8) { utf8Names = utf8; }

bool ToWide(const std::string& text, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  const int size = static_cast<int>(text.size());
  const int length =
      MultiByteToWideChar(CodePage(), MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  wide.assign(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CodePage(), MB_ERR_INVALID_CHARS, text.data(), size, &wide[0], length);
  return true;
}

std::string FromWide(const wchar_t* text, std::size_t length) {
  if (length == 0) return std::string();
  const int size = static_cast<int>(length);
  const int bytes = WideCharToMultiByte(CodePage(), 0, text, size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string narrow(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CodePage(), 0, text, size, &narrow[0], bytes, nullptr, nullptr);
  return narrow;
}

std::string FromWide(const std::wstring& text) { return FromWide(text.data(), text.size()); }

bool CannotBeSpelled(const std::string& path) {
  // "\\?\" opens a path that the system takes as it is.
  const std::size_t start = path.compare(0, 4, "\\\\?\\") == 0 ? 4 : 0;
  return !utf8Names && path.find('?', start) != std::string::npos;
}

BOOL CreateDirectoryN(const std::string& path) {
  const LPSECURITY_ATTRIBUTES none = nullptr;
  return OnPath(path, FALSE, CreateDirectoryA, CreateDirectoryW, none);
}

BOOL CopyFileN(const std::string& existing, const std::string& target, BOOL failIfExists) {
  return OnPaths(existing, target, CopyFileA, CopyFileW, failIfExists);
}

BOOL MoveFileN(const std::string& existing, const std::string& target) {
  return OnPaths(existing, target, MoveFileA, MoveFileW);
}

BOOL MoveFileExN(const std::string& existing, const std::string& target, DWORD flags) {
  return OnPaths(existing, target, MoveFileExA, MoveFileExW, flags);
}

BOOL DeleteFileN(const std::string& path) { return OnPath(path, FALSE, DeleteFileA, DeleteFileW); }

DWORD GetFileAttributesN(const std::string& path) {
  return OnPath(path, INVALID_FILE_ATTRIBUTES, GetFileAttributesA, GetFileAttributesW);
}

BOOL GetFileAttributesExN(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return OnPath(path, FALSE, GetFileAttributesExA, GetFileAttributesExW, GetFileExInfoStandard,
                static_cast<LPVOID>(&data));
}

BOOL SetFileAttributesN(const std::string& path, DWORD attributes) {
  return OnPath(path, FALSE, SetFileAttributesA, SetFileAttributesW, attributes);
}

BOOL WritePrivateProfileStringN(const std::string& section, const std::string& key,
                                const std::string& value, const std::string& path) {
  if (!utf8Names) {
    return OnPath(
        path, FALSE,
        [&](const char* p) {
          return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), p);
        },
        [](const wchar_t*) { return FALSE; });
  }
  std::wstring wideSection, wideKey, wideValue, widePath;
  if (!ToWide(section, wideSection) || !ToWide(key, wideKey) || !ToWide(value, wideValue) ||
      !ToWide(path, widePath)) {
    return FALSE;
  }
  return WritePrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), wideValue.c_str(),
                                    widePath.c_str());
}

HANDLE CreateFileN(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                   DWORD flags) {
  const LPSECURITY_ATTRIBUTES security = nullptr;
  const HANDLE noTemplate = nullptr;
  return OnPath(path, INVALID_HANDLE_VALUE, CreateFileA, CreateFileW, access, share, security,
                disposition, flags, noTemplate);
}

int RemoveN(const std::string& path) {
  if (!utf8Names) return std::remove(path.c_str());
  std::wstring wide;
  if (!ToWide(path, wide)) {
    errno = ENOENT;
    return -1;
  }
  return _wremove(wide.c_str());
}

Listing::~Listing() {
  if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  CloseTwin();
}

void Listing::CloseTwin() {
  if (twin_ != INVALID_HANDLE_VALUE) FindClose(twin_);
  twin_ = INVALID_HANDLE_VALUE;
}

bool Listing::First(const std::string& pattern, FindData& entry) {
  // The pattern's own wildcards are in its last name; '?' above it is a
  // name the code page could not spell.
  const std::size_t last = pattern.find_last_of("\\/");
  if (CannotBeSpelled(last == std::string::npos ? std::string() : pattern.substr(0, last))) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  std::wstring wide;
  const bool spelled = ToWide(pattern, wide);
  // FindFirstFileA or FindFirstFileW, on the pattern as spelled for it.
  const auto open = [this](auto find, const auto* text) {
    return [this, find, text](auto* data) {
      handle_ = find(text, data);
      return handle_ != INVALID_HANDLE_VALUE;
    };
  };
  if (utf8Names) {
    return spelled && Take<WIN32_FIND_DATAW>(open(FindFirstFileW, wide.c_str()), entry);
  }
  if (!Take<WIN32_FIND_DATAA>(open(FindFirstFileA, pattern.c_str()), entry)) return false;
  WIN32_FIND_DATAW twin;
  if (spelled) twin_ = FindFirstFileW(wide.c_str(), &twin);
  if (twin_ != INVALID_HANDLE_VALUE) Spell(twin.cFileName, entry);
  return true;
}

bool Listing::Next(FindData& entry) {
  if (utf8Names) {
    return Take<WIN32_FIND_DATAW>([&](auto* data) { return FindNextFileW(handle_, data) != 0; },
                                  entry);
  }
  if (!Take<WIN32_FIND_DATAA>([&](auto* data) { return FindNextFileA(handle_, data) != 0; },
                              entry)) {
    return false;
  }
  WIN32_FIND_DATAW twin;
  if (twin_ != INVALID_HANDLE_VALUE && !FindNextFileW(twin_, &twin)) CloseTwin();
  if (twin_ != INVALID_HANDLE_VALUE) Spell(twin.cFileName, entry);
  return true;
}

void Listing::Spell(const wchar_t* name, FindData& entry) {
  const std::size_t length = std::char_traits<wchar_t>::length(name);
  // Another name than the ANSI listing's: the two are out of step.
  if (FromWide(name, length) != entry.name) return CloseTwin();
  const int size = static_cast<int>(length);
  BOOL approximated = FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, size, nullptr, 0,
                                        nullptr, &approximated);
  if (!approximated || bytes <= 0) return;
  std::string strict(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, size, &strict[0], bytes, nullptr,
                      nullptr);
  entry.name = strict;
}

std::string FullPathNameN(const std::string& path) {
  if (path.empty()) return std::string();
  if (!utf8Names) {
    return Grown<char>([&](char* buffer, DWORD size) {
      return GetFullPathNameA(path.c_str(), size, buffer, nullptr);
    });
  }
  std::wstring wide;
  if (!ToWide(path, wide)) return std::string();
  return FromWide(Grown<wchar_t>([&](wchar_t* buffer, DWORD size) {
    return GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
  }));
}

std::string FinalPathNameN(HANDLE handle) {
  using AnsiFunction = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
  using WideFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  static const auto ansi = Kernel32Function<AnsiFunction>("GetFinalPathNameByHandleA");
  static const auto wide = Kernel32Function<WideFunction>("GetFinalPathNameByHandleW");
  if (!utf8Names) {
    if (ansi == nullptr) return std::string();
    return Grown<char>([&](char* buffer, DWORD size) { return ansi(handle, buffer, size, 0); });
  }
  if (wide == nullptr) return std::string();
  return FromWide(
      Grown<wchar_t>([&](wchar_t* buffer, DWORD size) { return wide(handle, buffer, size, 0); }));
}

std::string SystemMessageN(DWORD code) {
  const DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  if (!utf8Names) {
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(flags, nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length != 0 && text != nullptr ? std::string(text, length) : "";
    if (text != nullptr) LocalFree(text);
    return message;
  }
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length != 0 && text != nullptr ? FromWide(text, length) : "";
  if (text != nullptr) LocalFree(text);
  return message;
}

}  // namespace vostrel::platform::names
