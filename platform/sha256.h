// SHA-256 from the platform's own library: libcrypto on Linux, bcrypt on
// Windows. platform/posix and platform/win32 each implement it.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>

namespace vostrel::platform {

// The hash of bytes given in pieces.
class Sha256 {
 public:
  using Digest = std::array<unsigned char, 32>;
  virtual ~Sha256() = default;
  // False when the library fails.
  virtual bool Update(const unsigned char* data, std::size_t size) = 0;
  virtual bool Finish(Digest& digest) = 0;
};

// A fresh hash; nullptr with the reason in `error` when the library has none.
std::unique_ptr<Sha256> MakeSha256(std::string& error);

}  // namespace vostrel::platform
