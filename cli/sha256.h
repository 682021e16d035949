// SHA-256 of a file's content, from the platform's own library: libcrypto on
// Linux, bcrypt on Windows. The kit check compares files by it and the
// manifest lists it.
#pragma once

#include <string>

#include "platform/native.h"
#include "platform/sha256.h"

namespace vostrel::cli {

// The lower-case hex SHA-256 of the file at `path` (a native path). False
// with a message when the file cannot be read.
bool Sha256OfFile(const std::string& path, std::string& digest, std::string& error);

// A digest as lower-case hex.
std::string Sha256Hex(const platform::Sha256::Digest& digest);

// The same of a medium's file, as `disk` names it (on disk, or in an image).
bool Sha256OfMediumFile(platform::NativeFileSystem& disk, const std::string& path,
                        std::string& digest, std::string& error);

}  // namespace vostrel::cli
