#include "cli/sha256.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

namespace vostrel::cli {

namespace {

constexpr std::size_t kChunk = 1 << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string Hex(const unsigned char* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0xf]);
  }
  return text;
}

// Feeds the file to `update` chunk by chunk; false with a message when it
// cannot be opened or read.
template <typename Update>
bool ReadChunks(const std::string& path, std::string& error, Update update) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  // One buffer for every file: a check hashes the whole kit and the medium,
  // and a fresh megabyte for each small file cost more than its hash.
  static thread_local std::vector<unsigned char> buffer(kChunk);
  for (;;) {
    std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    if (got > 0 && !update(buffer.data(), got)) {
      error = "the hash library failed";
      return false;
    }
    if (got < buffer.size()) {
      if (std::ferror(file.get())) {
        error = "read error";
        return false;
      }
      return true;
    }
  }
}

}  // namespace

#ifdef _WIN32

bool Sha256OfFile(const std::string& path, std::string& digest, std::string& error) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
    error = "SHA-256 is not available from bcrypt";
    return false;
  }
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) != 0) {
    BCryptCloseAlgorithmProvider(algorithm, 0);
    error = "SHA-256 is not available from bcrypt";
    return false;
  }
  bool ok = ReadChunks(path, error, [&](unsigned char* data, std::size_t size) {
    return BCryptHashData(hash, data, static_cast<ULONG>(size), 0) == 0;
  });
  unsigned char value[32];
  if (ok && BCryptFinishHash(hash, value, sizeof value, 0) != 0) {
    error = "the hash library failed";
    ok = false;
  }
  BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (ok) digest = Hex(value, sizeof value);
  return ok;
}

#else

bool Sha256OfFile(const std::string& path, std::string& digest, std::string& error) {
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    error = "the hash library failed";
    return false;
  }
  if (!ReadChunks(path, error, [&](unsigned char* data, std::size_t size) {
        return EVP_DigestUpdate(context.get(), data, size) == 1;
      })) {
    return false;
  }
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(context.get(), value, &size) != 1) {
    error = "the hash library failed";
    return false;
  }
  digest = Hex(value, size);
  return true;
}

#endif

}  // namespace vostrel::cli
