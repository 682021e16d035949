// How vostrel-kit words what it tells the person: the prefix of its own
// lines, its exit statuses, Win32 error codes, counts and paths.
#pragma once

#include <cstddef>
#include <string>

#include "platform/native.h"

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

// The failure line for an entry a walk left out, without the prefix: an
// image's entry whose name Windows would not show is "image entry left out:
// PATH: REASON", any other "skipped PATH: REASON".
std::string SkippedLine(const std::string& folder, const std::string& name,
                        const std::string& reason, platform::SkipKind kind);

}  // namespace vostrel::cli
