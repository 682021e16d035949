#include "platform/posix/name_resolver.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "engine/name_key.h"
#include "engine/windows_path.h"

namespace vostrel::posix {

using names::FoldKey;

namespace {

// A walk holds a source and a destination folder per level; a few levels of
// both stay warm, older ones are read again if a walk comes back to them.
constexpr size_t kResolvedFolders = 64;
constexpr size_t kIndexedFolders = 8;

bool IsDotName(const std::string& part) { return part == "." || part == ".."; }

std::string CurrentFolder() {
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) {
      buffer.resize(std::strlen(buffer.c_str()));
      return buffer;
    }
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

bool NameResolver::Spellings::Has(const std::string& name) const {
  return first == name || std::binary_search(more.begin(), more.end(), name);
}

void NameResolver::Spellings::Add(const std::string& name) {
  if (first.empty()) {
    first = name;
    return;
  }
  if (Has(name)) return;
  if (name < first) {
    more.insert(more.begin(), std::move(first));
    first = name;
  } else {
    more.insert(std::lower_bound(more.begin(), more.end(), name), name);
  }
}

bool NameResolver::Spellings::Remove(const std::string& name) {
  if (first == name) {
    if (more.empty()) {
      first.clear();
      return false;
    }
    first = std::move(more.front());
    more.erase(more.begin());
    return true;
  }
  auto at = std::lower_bound(more.begin(), more.end(), name);
  if (at != more.end() && *at == name) more.erase(at);
  return true;
}

SplitPath Split(const std::string& path) {
  SplitPath split;
  split.base = !path.empty() && winpath::IsSeparator(path[0]) ? std::string("/") : CurrentFolder();
  size_t at = 0;
  while (at < path.size()) {
    while (at < path.size() && winpath::IsSeparator(path[at])) ++at;
    size_t end = at;
    while (end < path.size() && !winpath::IsSeparator(path[end])) ++end;
    if (end > at) split.parts.emplace_back(path, at, end - at);
    at = end;
  }
  split.trailingSeparator = !path.empty() && winpath::IsSeparator(path.back());
  return split;
}

std::string JoinNative(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return winpath::JoinWith(folder, '/', name);
}

std::string OpenableFolder(const std::string& folder) { return folder.empty() ? "." : folder; }

std::string NameOfOpen(int fd) {
  char link[32];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[PATH_MAX];
  const ssize_t length = readlink(link, target, sizeof target);
  static constexpr std::string_view kDeleted = " (deleted)";
  const std::string_view named(target, length > 0 ? static_cast<size_t>(length) : 0);
  if (length <= 0 || static_cast<size_t>(length) == sizeof target || named.front() != '/' ||
      (named.size() >= kDeleted.size() &&
       named.substr(named.size() - kDeleted.size()) == kDeleted)) {
    return std::string();
  }
  return std::string(named);
}

std::string RealPath(const std::string& path) {
  // One lookup, then the kernel names what it opened: realpath(3) looks each
  // leading folder up again to ask whether it is a link.
  const int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
  if (fd >= 0) {
    std::string named = NameOfOpen(fd);
    close(fd);
    if (!named.empty()) return named;
  }
  // No /proc, or a name the kernel cannot give as a plain path.
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return std::string();
  std::string resolved = real;
  std::free(real);
  return resolved;
}

NameResolver::NameResolver() : resolved_(kResolvedFolders), indexes_(kIndexedFolders) {}

std::string NameResolver::KeyOf(const SplitPath& path, size_t count) {
  // Without a base (the current folder was unreadable) the meaning of the
  // path may change, so it is not remembered. NUL cannot occur in a name.
  if (path.base.empty()) return std::string();
  std::string key = path.base;
  for (size_t i = 0; i < count; ++i) key.append(1, '\0').append(path.parts[i]);
  return key;
}

ResolvedFolder NameResolver::ResolveFolder(const SplitPath& path, size_t count) {
  ResolvedFolder result;
  size_t start = 0;
  result.native = path.base;
  if (!path.base.empty()) {
    for (size_t k = count; k > 0; --k) {
      if (const std::string* cached = resolved_.Find(KeyOf(path, k))) {
        result.native = *cached;
        start = k;
        break;
      }
    }
  }

  bool found = true;
  for (size_t i = start; i < count; ++i) {
    const std::string& part = path.parts[i];
    std::string exact = JoinNative(result.native, part);
    if (!found || IsDotName(part)) {
      result.native = std::move(exact);
      continue;
    }
    struct stat status;
    std::string spelling;
    if (fstatat(AT_FDCWD, exact.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
      result.native = std::move(exact);
    } else if (errno == ENOENT && Lookup(result.native, part, spelling)) {
      result.native = JoinNative(result.native, spelling);
    } else {
      found = false;
      result.existingSize = result.native.size();
      result.native = std::move(exact);
    }
  }
  result.found = found;
  if (found) {
    result.existingSize = result.native.size();
    if (start < count) {
      std::string key = KeyOf(path, count);
      if (!key.empty()) resolved_.Put(key, result.native);
    }
  }
  return result;
}

NameResolver::FolderIndex* NameResolver::IndexOf(const std::string& folder) {
  if (FolderIndex* index = indexes_.Find(folder)) return index;
  DIR* dir = opendir(OpenableFolder(folder).c_str());
  if (dir == nullptr) return nullptr;
  FolderIndex index;
  bool complete = true;
  for (;;) {
    errno = 0;
    struct dirent* entry = readdir(dir);
    if (entry == nullptr) {
      complete = errno == 0;
      break;
    }
    std::string name = entry->d_name;
    // A name holding '\' can never be reached: it would be split apart.
    if (name == "." || name == ".." || name.find('\\') != std::string::npos) continue;
    names::FoldKeyInto(name, folded_);
    index.names[FolderIndex::Key(folded_)].Add(name);
  }
  closedir(dir);
  if (!complete) return nullptr;
  absentIn_ = nullptr;
  return &indexes_.Put(folder, std::move(index));
}

bool NameResolver::Lookup(const std::string& folder, const std::string& name,
                          std::string& spelling) {
  FolderIndex* index = IndexOf(folder);
  if (index == nullptr || (index == absentIn_ && name == lastName_)) return false;
  auto found = index->names.find(KeyOfName(name));
  if (found == index->names.end()) return false;
  spelling = found->second.Has(name) ? name : found->second.first;
  return true;
}

const NameResolver::FolderIndex::Key& NameResolver::KeyOfName(const std::string& name) {
  if (name != lastName_) {
    names::FoldKeyInto(name, folded_);
    lastNameKey_.assign(folded_.data(), folded_.size());
    lastName_ = name;
    absentIn_ = nullptr;
  }
  return lastNameKey_;
}

bool NameResolver::KnownAbsent(const std::string& folder, const std::string& name) {
  const FolderIndex* index = indexes_.Find(folder);
  if (index == nullptr || index->names.count(KeyOfName(name)) != 0) return false;
  absentIn_ = index;
  return true;
}

void NameResolver::NoteAdded(const std::string& folder, const std::string& name) {
  absentIn_ = nullptr;
  if (FolderIndex* index = indexes_.Find(folder)) index->names[KeyOfName(name)].Add(name);
}

void NameResolver::NoteRemoved(const std::string& folder, const std::string& name) {
  absentIn_ = nullptr;
  if (FolderIndex* index = indexes_.Find(folder)) {
    auto found = index->names.find(KeyOfName(name));
    if (found != index->names.end() && !found->second.Remove(name)) index->names.erase(found);
  }
  std::string native = JoinNative(folder, name);
  resolved_.EraseIf([&](const std::string& cached) { return cached == native; });
  indexes_.Erase(native);
}

void NameResolver::NoteFolderCreated(const SplitPath& path, size_t count,
                                     const std::string& native) {
  std::string key = KeyOf(path, count);
  if (!key.empty()) resolved_.Put(key, native);
  absentIn_ = nullptr;
  indexes_.Put(native, FolderIndex());
}

void NameResolver::Forget() {
  absentIn_ = nullptr;
  resolved_.Clear();
  indexes_.Clear();
}

}  // namespace vostrel::posix
