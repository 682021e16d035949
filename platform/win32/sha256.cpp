// SHA-256 of platform/sha256.h on Win32: bcrypt.
#include "platform/sha256.h"

#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

namespace vostrel::platform {

namespace {

class BcryptSha256 : public Sha256 {
 public:
  ~BcryptSha256() override {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  bool Start() {
    return BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
           BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0) == 0;
  }
  bool Update(const unsigned char* data, std::size_t size) override {
    return BCryptHashData(hash_, const_cast<unsigned char*>(data), static_cast<ULONG>(size), 0) ==
           0;
  }
  bool Finish(Digest& digest) override {
    return BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0) == 0;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

std::unique_ptr<Sha256> MakeSha256(std::string& error) {
  auto hash = std::make_unique<BcryptSha256>();
  if (hash->Start()) return hash;
  error = "SHA-256 is not available from bcrypt";
  return nullptr;
}

}  // namespace vostrel::platform
