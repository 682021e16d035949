// How vostrel-kit words what it tells the person: the prefix of its own
// lines, its exit statuses, Win32 error codes, counts and paths.
#pragma once

#include <cstddef>
#include <string>

namespace vostrel::cli {

// Exit statuses.
constexpr int kExitComplete = 0;
constexpr int kExitIncomplete = 1;  // built, but the kit may be incomplete or wrong
constexpr int kExitUsage = 2;       // usage error or validation message: nothing written

// Begins every line the tool words itself; a validation message stands
// alone on its line, exactly as the window shows it.
constexpr const char* kPrefix = "vostrel-kit: ";

// A short meaning of a Win32 error code, for messages.
std::string ErrorMeaning(unsigned long code);

// "error 5 (access denied)".
std::string CodeText(unsigned long code);

// "1 file", "3 files".
std::string CountOf(std::size_t count, const char* what);

// A path as the person writes it on this platform: native separators, runs
// of them collapsed (a leading pair on Windows names a network share).
std::string DisplayPath(const std::string& path);

}  // namespace vostrel::cli
