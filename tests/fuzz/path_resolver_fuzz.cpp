// The path resolver under any engine path, against a real folder tree with
// names that differ only in case, non-ASCII names and a name holding '\':
// a path splits into non-empty parts without separators, every part resolves
// to itself or to a case variant of itself, a path found exists, a second
// resolution (from the caches) agrees with the first, and no resolution ever
// reaches the name holding '\'. Folder patterns match as a plain matcher does.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/name_key.h"
#include "platform/posix/name_resolver.h"

namespace {

namespace names = vostrel::names;
namespace posix = vostrel::posix;

std::string gRoot;

[[noreturn]] void Fail(const char* what, const std::string& path) {
  std::fprintf(stderr, "path resolver property broken: %s (path \"%s\")\n", what, path.c_str());
  std::abort();
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool Exists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

// The parts a path has: runs of separators count as one.
std::vector<std::string> ExpectedParts(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (IsSeparator(c)) {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// A plain matcher for '*' and '?' to hold the resolver's one against:
// matched[i][j] says whether the first i units of the pattern match the
// first j of the name.
bool PlainMatch(const std::u16string& pattern, const std::u16string& name) {
  std::vector<std::vector<char>> matched(pattern.size() + 1, std::vector<char>(name.size() + 1, 0));
  matched[0][0] = 1;
  for (size_t i = 1; i <= pattern.size(); ++i) {
    const char16_t p = pattern[i - 1];
    matched[i][0] = p == u'*' && matched[i - 1][0];
    for (size_t j = 1; j <= name.size(); ++j) {
      if (p == u'*') {
        matched[i][j] = matched[i - 1][j] || matched[i][j - 1];
      } else {
        matched[i][j] = (p == u'?' || p == name[j - 1]) && matched[i - 1][j - 1];
      }
    }
  }
  return matched[pattern.size()][name.size()] != 0;
}

void CheckResolution(const std::string& path) {
  const posix::SplitPath split = posix::Split(path);
  if (split.parts != ExpectedParts(path)) Fail("the parts differ from the path's", path);
  if (!path.empty() && IsSeparator(path[0]) && split.base != "/") Fail("rooted path lost", path);

  posix::NameResolver names;
  const posix::ResolvedFolder first = names.ResolveFolder(split, split.parts.size());
  const posix::ResolvedFolder again = names.ResolveFolder(split, split.parts.size());
  if (first.native != again.native || first.found != again.found) {
    Fail("a second resolution disagrees with the first", path);
  }
  if (first.existingSize > first.native.size()) Fail("existing part longer than the path", path);
  // "." and ".." pass through unchecked, and ".." may leave the tree for
  // folders whose content is not ours: a found path is checked without them.
  bool dotParts = false;
  for (const std::string& part : split.parts) dotParts = dotParts || part == "." || part == "..";
  if (first.found && !dotParts && !Exists(first.native)) Fail("a path found does not exist", path);
  if (first.native.compare(0, split.base.size(), split.base) != 0) Fail("base lost", path);

  // Part by part: itself or a case variant of itself, never a name with '\'.
  std::string rest = first.native.substr(split.base.size());
  std::vector<std::string> native = ExpectedParts(rest);
  if (native.size() != split.parts.size()) Fail("parts were added or lost", path);
  for (size_t i = 0; i < native.size(); ++i) {
    if (native[i] != split.parts[i] &&
        names::FoldKey(native[i]) != names::FoldKey(split.parts[i])) {
      Fail("a part resolved to another name", path);
    }
  }
  if (first.native.find('\\') != std::string::npos) Fail("reached a name holding '\\'", path);

  // The folder's own spelling of the first part.
  if (!split.parts.empty()) {
    std::string spelling;
    const std::string folder = split.base;
    if (names.Lookup(folder, split.parts[0], spelling)) {
      if (names::FoldKey(spelling) != names::FoldKey(split.parts[0])) {
        Fail("a lookup found another name", path);
      }
      if (!Exists(posix::JoinNative(folder, spelling))) Fail("a lookup found nothing", path);
      if (Exists(posix::JoinNative(folder, split.parts[0])) && spelling != split.parts[0]) {
        Fail("a lookup passed over the exact name", path);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* temporary = std::getenv("TMPDIR");
  std::string pattern =
      std::string(temporary && *temporary ? temporary : "/tmp") + "/vostrel-fuzz-paths-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  gRoot = pattern;
  namespace fs = std::filesystem;
  for (const char* folder :
       {"Alpha/Beta/Gamma", "ALPHA/beta", "alpha", "\xC3\x9Cn\xC3\xAF", "\xC3\xBCN\xC3\x8F",
        "caf\xE9", "a\\b", "Talvor Imaging/Vok/DLL", "Talvor Imaging/Vok/dll"}) {
    fs::create_directories(fs::path(gRoot) / folder);
  }
  for (const char* file : {"Alpha/Beta/file.txt", "Alpha/Beta/FILE.TXT", "a\\b/secret.txt",
                           "Talvor Imaging/Vok/dll/vok.dll"}) {
    std::FILE* out = std::fopen((gRoot + "/" + file).c_str(), "w");
    if (out) std::fclose(out);
  }
  fs::create_directory_symlink(".", fs::path(gRoot) / "loop");
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(gRoot, ignored);
  });
  if (chdir(gRoot.c_str()) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses a relative path (from the tree) or a rooted one
  // into the tree; no NUL can stand in a path.
  const bool rooted = (bytes[0] & 1) != 0;
  std::string input(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  if (input.find('\0') != std::string::npos) return 0;
  CheckResolution(rooted ? gRoot + "\\" + input : input);

  // The input as a FindFirst pattern against the name that follows a '|'.
  const size_t bar = input.find('|');
  if (bar != std::string::npos) {
    const std::u16string pattern = names::FoldKey(input.substr(0, bar));
    const std::u16string name = names::FoldKey(input.substr(bar + 1));
    const bool everything = pattern == u"*" || pattern == u"*.*";
    if (!everything && names::MatchesPattern(pattern, name) != PlainMatch(pattern, name)) {
      Fail("a pattern matched otherwise than a plain matcher", input);
    }
  }
  return 0;
}
