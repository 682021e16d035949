// SHA-256 of platform/sha256.h on Linux: libcrypto.
#include "platform/sha256.h"

#include <openssl/evp.h>

namespace vostrel::platform {

namespace {

class CryptoSha256 : public Sha256 {
 public:
  CryptoSha256() : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {}
  bool Start() { return context_ && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) == 1; }
  bool Update(const unsigned char* data, std::size_t size) override {
    return EVP_DigestUpdate(context_.get(), data, size) == 1;
  }
  bool Finish(Digest& digest) override {
    unsigned int size = 0;
    return EVP_DigestFinal_ex(context_.get(), digest.data(), &size) == 1 && size == digest.size();
  }

 private:
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context_;
};

}  // namespace

std::unique_ptr<Sha256> MakeSha256(std::string& error) {
  auto hash = std::make_unique<CryptoSha256>();
  if (hash->Start()) return hash;
  error = "the hash library failed";
  return nullptr;
}

}  // namespace vostrel::platform
