#include "cli/sha256.h"

#include <functional>
#include <memory>

#include "platform/native.h"
#include "platform/sha256.h"
#include "platform/whole_file.h"

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

// The digest of what `feed` gives; false with a message.
bool Sha256Of(const Feed& feed, std::string& digest, std::string& error) {
  const std::unique_ptr<platform::Sha256> hash = platform::MakeSha256(error);
  if (!hash) return false;
  bool hashed = true;
  const bool read = feed(
      [&](const char* data, std::size_t size) {
        hashed = hash->Update(reinterpret_cast<const unsigned char*>(data), size);
        return hashed;
      },
      error);
  platform::Sha256::Digest value;
  if (read && hashed && !hash->Finish(value)) hashed = false;
  if (!hashed) error = "the hash library failed";
  if (!read || !hashed) return false;
  digest = Hex(value.data(), value.size());
  return true;
}

}  // namespace

std::string Sha256Hex(const platform::Sha256::Digest& digest) {
  return Hex(digest.data(), digest.size());
}

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

}  // namespace vostrel::cli
