// What both platform layers share of platform/whole_file.h (portable: no OS
// header): the temporary names, made and recognised in one place, the
// one-call writes, the choice of writer for an output, and whole-file
// reads.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

#include "platform/whole_file.h"

namespace vostrel::platform {

namespace {

// Every temporary has the form earlier versions gave a copy's, so what any
// version left in a kit is recognised alike.
constexpr std::string_view kPrefix = ".vostrel-copy-";
constexpr std::size_t kSuffixLength = 6;

bool IsAlphanumeric(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool AllAlphanumeric(const std::string& text, std::size_t from, std::size_t count) {
  for (std::size_t i = from; i < from + count; ++i) {
    if (!IsAlphanumeric(text[i])) return false;
  }
  return true;
}

// A different number on every call, and in every process: a random start
// stepped through a mixing function, safe on any thread.
std::uint64_t NextNumber() {
  static std::atomic<std::uint64_t> state{[] {
    std::random_device device;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return (std::uint64_t{device()} << 32) ^ device() ^ static_cast<std::uint64_t>(now);
  }()};
  std::uint64_t x = state.fetch_add(0x9E3779B97F4A7C15u);
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool WriteAndCommit(const std::unique_ptr<WholeFile>& file, const std::string& text,
                    std::string& error) {
  return file && file->Write(text.data(), text.size(), error) && file->Commit(error);
}

}  // namespace

bool ReadChunks(const ChunkSource& next, const ChunkSink& take, std::string& error,
                std::size_t chunk) {
  std::vector<char> buffer(chunk);
  for (;;) {
    const long got = next(buffer.data(), buffer.size(), error);
    if (got < 0) return false;
    if (got == 0) return true;
    if (!take(buffer.data(), static_cast<std::size_t>(got))) {
      error = "the reader stopped";
      return false;
    }
  }
}

bool ReadWholeFile(const std::string& path, const ChunkSink& take, std::string& error) {
  std::unique_ptr<std::FILE, FileCloser> file(OpenForReading(path));
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  bool ended = false;
  return ReadChunks(
      [&](char* buffer, std::size_t size, std::string& failure) -> long {
        if (ended) return 0;
        const std::size_t got = std::fread(buffer, 1, size, file.get());
        if (got < size) {
          if (std::ferror(file.get())) {
            failure = "read error";
            return -1;
          }
          ended = true;
        }
        return static_cast<long>(got);
      },
      take, error);
}

std::string TemporaryName() {
  static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::string name(kPrefix);
  for (std::uint64_t rest = NextNumber(); name.size() < kPrefix.size() + kSuffixLength;
       rest /= 62) {
    name.push_back(kDigits[rest % 62]);
  }
  return name;
}

bool IsTemporaryName(const std::string& name) {
  if (name.size() == kPrefix.size() + kSuffixLength &&
      name.compare(0, kPrefix.size(), kPrefix) == 0) {
    return AllAlphanumeric(name, kPrefix.size(), kSuffixLength);
  }
  // Earlier versions edited a setup-type file through "." + its name + "." +
  // 8 characters + ".tmp".
  const std::size_t tail = 1 + 8 + 4;
  return name.size() > 1 + tail && name[0] == '.' &&
         name.compare(name.size() - 4, 4, ".tmp") == 0 && name[name.size() - tail] == '.' &&
         AllAlphanumeric(name, name.size() - tail + 1, 8);
}

bool WriteWholeFile(const std::string& path, const std::string& text, std::string& error) {
  return WriteAndCommit(BeginWholeFile(path, error), text, error);
}

std::unique_ptr<WholeFile> BeginOutput(const OutputTarget& target, std::string& error) {
  switch (target.kind) {
    case OutputTarget::Kind::kFile:
      return BeginWholeFile(target.path, error);
    case OutputTarget::Kind::kStream:
      return BeginStream(target.path, error);
    default:
      error = "no output can be written to " + target.path;
      return nullptr;
  }
}

bool WriteOutput(const OutputTarget& target, const std::string& text, std::string& error) {
  return WriteAndCommit(BeginOutput(target, error), text, error);
}

}  // namespace vostrel::platform
