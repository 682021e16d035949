// Windows-form paths: the one place that knows what a separator is, what a
// name may hold, how a path splits into its folder and name, and when one
// path lies within another. Names within them compare by the name key (engine/name_key.h).
// Portable (no OS header), so the engine, both front ends and both platform
// layers share it.
#pragma once

#include <cstddef>
#include <string>

namespace vostrel::winpath {

// '\' and '/' both separate components, as they do for the Win32 calls.
bool IsSeparator(char c);

// Why `name` (UTF-8) cannot name a file or folder as Windows shows it: empty,
// "." or "..", a separator, a control character or one of :*?"<>|, a
// trailing dot or space (Windows drops them), a device's name (CON, NUL,
// COM1 ..., with any extension). nullptr when it can.
const char* WhyNotAName(const std::string& name);

// folder + "\" + name: how the engine forms every path below a root.
std::string Join(const std::string& folder, const std::string& name);
// The same into `joined`, whose storage is reused (a walk joins a path for
// every entry of a folder).
void JoinInto(const std::string& folder, const std::string& name, std::string& joined);
// `folder`, `separator` and `name` in one string, made with one allocation (a
// run joins paths for every file it copies).
std::string JoinWith(const std::string& folder, char separator, const std::string& name);
// folder + "/" + name, the name alone below the empty folder: how a path
// relative to a root (a kit path) is formed.
std::string JoinRelative(const std::string& folder, const std::string& name);

// '/' separators, runs of them collapsed, trailing ones dropped (a lone "/"
// stays). For comparing folders, not for opening them.
std::string Normalized(const std::string& path);
// The name key of the normalized path: two spellings of one folder give the
// same key.
std::u16string PathKey(const std::string& path);

// Whether `inner` is `outer` or lies below it. Both are normalized first;
// with `foldCase` names compare without regard to case.
bool IsWithin(const std::string& inner, const std::string& outer, bool foldCase = true);

// The position of the last separator, or npos; with `backslashSeparates`
// false only '/' counts.
std::size_t LastSeparator(const std::string& path, bool backslashSeparates = true);

// The part before the last separator ("" when there is none), and the part
// after it. With `backslashSeparates` false only '/' counts: a path joined
// with '/' from names as a Linux disk holds them, where a name may hold '\'.
std::string ParentOf(const std::string& path, bool backslashSeparates = true);
std::string LastName(const std::string& path, bool backslashSeparates = true);

// The folder that holds `path`, spelled so that it names that folder: a
// root keeps its separator ("/", "X:\"). Empty for a root and for a bare
// name. Trailing separators of `path` do not count.
std::string FolderOf(const std::string& path, bool backslashSeparates = true);

// Trailing separators go; a root ("/", "X:\", "X:/") stays whole. With
// `backslashSeparates` false only '/' counts (a name on Linux may hold '\').
std::string DropTrailingSeparators(std::string path, bool backslashSeparates = true);

// The part of `path` below `root` with '/' separators (empty for the root
// itself); false when `path` does not lie below `root` as spelled.
bool RelativeTo(const std::string& root, const std::string& path, std::string& relative);
// Whether RelativeTo would give a part that is not empty: `path` names
// something below `root`, not `root` itself. Nothing is built.
bool IsBelow(const std::string& root, const std::string& path);

// A path with every separator as `separator` and runs of them collapsed; a
// leading pair stays when `separator` is '\' (a network share).
std::string WithSeparators(const std::string& path, char separator);

// The length of the part of a full path that names the drive or share with
// its separator ("C:\" is 3, "\\server\share\" its whole length): nothing
// above it can be created or taken off.
std::size_t RootLength(const std::string& full);

// A drive with its root ("C:\...") or a share ("\\server\..."): a path that
// no Win32 call resolves against the current or the Windows folder.
bool IsFullyQualified(const std::string& path);

}  // namespace vostrel::winpath
