// Where the Windows layer's narrow strings meet kernel32. A process spells
// names either in the system code page, handed to the ANSI calls as they are
// (the desktop tool), or in UTF-8, turned into UTF-16 for the wide calls and
// back (the command-line tool, which must reach every name a disk holds).
// Every call below is the one kernel32 call of that name in the form the
// process's spelling needs, with the same arguments and results; the
// conversions happen here and nowhere else.
#pragma once

#ifndef VOSTREL_WIN32_LAYER
#error "platform/win32/win32_names.h is private to the Win32 layer: include platform/*.h"
#endif

#include <windows.h>

#include <string>

#include "engine/file_system.h"

namespace vostrel::platform::names {

// Whether this process spells names in UTF-8 (else in the system code page).
bool Utf8();
void SetUtf8(bool utf8);

// UTF-16 and the process's spelling. ToWide is false, with
// ERROR_NO_UNICODE_TRANSLATION set, for text that is not valid in it.
bool ToWide(const std::string& text, std::wstring& wide);
std::string FromWide(const wchar_t* text, std::size_t length);
std::string FromWide(const std::wstring& text);

// A name listed by the ANSI calls with '?' where the code page has no
// character: no Windows name holds '?', so the item cannot be reached by it.
bool CannotBeSpelled(const std::string& path);

BOOL CreateDirectoryN(const std::string& path);
BOOL CopyFileN(const std::string& existing, const std::string& target, BOOL failIfExists);
BOOL MoveFileN(const std::string& existing, const std::string& target);
BOOL MoveFileExN(const std::string& existing, const std::string& target, DWORD flags);
BOOL DeleteFileN(const std::string& path);
DWORD GetFileAttributesN(const std::string& path);
BOOL GetFileAttributesExN(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data);
BOOL SetFileAttributesN(const std::string& path, DWORD attributes);
BOOL WritePrivateProfileStringN(const std::string& section, const std::string& key,
                                const std::string& value, const std::string& path);
HANDLE CreateFileN(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                   DWORD flags);
// The C runtime's remove(), with its errno and _doserrno.
int RemoveN(const std::string& path);
// A folder listing: FindFirstFile, FindNextFile and FindClose, each entry
// with its long name and attribute bits. In the code page, FindFirstFileA's
// listing is read beside FindFirstFileW's of the same folder (kernel32 lists
// both in one order): a name the code page has no spelling for, which
// FindFirstFileA gives by near letters (best fit: 'ł' as 'l'), is given with
// '?' for them instead, as for the characters it has nothing for, so that
// no call reaches another item by that name.
class Listing {
 public:
  Listing() = default;
  ~Listing();
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;

  // False with GetLastError() set, as the call it stands for.
  bool First(const std::string& pattern, FindData& entry);
  bool Next(FindData& entry);

 private:
  void Spell(const wchar_t* name, FindData& entry);
  void CloseTwin();

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  HANDLE twin_ = INVALID_HANDLE_VALUE;  // the wide listing beside the ANSI one
};

// GetFullPathName; empty on failure.
std::string FullPathNameN(const std::string& path);
// GetFinalPathNameByHandle, where kernel32 has it (not XP); empty otherwise.
std::string FinalPathNameN(HANDLE handle);
// FormatMessage from the system for `code`, as the system words it.
std::string SystemMessageN(DWORD code);

}  // namespace vostrel::platform::names
