#include "cli/sha256.h"

#include <functional>
#include <memory>

#include "platform/native.h"
#include "platform/whole_file.h"

#ifdef _WIN32
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

namespace vostrel::cli {

namespace {

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

// What feeds a file's bytes, chunk by chunk, to the hash; false with a
// message when it cannot be read.
using Feed = std::function<bool(const platform::ChunkSink& take, std::string& error)>;

// The digest of what `feed` gives, by `update`; false with a message.
template <typename Update>
bool Hashed(const Feed& feed, std::string& error, Update update) {
  bool hashed = true;
  const bool read = feed(
      [&](const char* data, std::size_t size) {
        hashed = update(reinterpret_cast<const unsigned char*>(data), size);
        return hashed;
      },
      error);
  if (!hashed) error = "the hash library failed";
  return read && hashed;
}

bool Sha256Of(const Feed& feed, std::string& digest, std::string& error);

}  // namespace

bool Sha256OfFile(const std::string& path, std::string& digest, std::string& error) {
  return Sha256Of(
      [&path](const platform::ChunkSink& take, std::string& failure) {
        return platform::ReadWholeFile(path, take, failure);
      },
      digest, error);
}

bool Sha256OfMediumFile(platform::NativeFileSystem& disk, const std::string& path,
                        std::string& digest, std::string& error) {
  return Sha256Of([&](const platform::ChunkSink& take,
                      std::string& failure) { return disk.ReadMediumFile(path, take, failure); },
                  digest, error);
}

namespace {

#ifdef _WIN32

bool Sha256Of(const Feed& feed, std::string& digest, std::string& error) {
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
  bool ok = Hashed(feed, error, [&](const unsigned char* data, std::size_t size) {
    return BCryptHashData(hash, const_cast<unsigned char*>(data), static_cast<ULONG>(size), 0) == 0;
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

bool Sha256Of(const Feed& feed, std::string& digest, std::string& error) {
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    error = "the hash library failed";
    return false;
  }
  if (!Hashed(feed, error, [&](const unsigned char* data, std::size_t size) {
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

}  // namespace

}  // namespace vostrel::cli
