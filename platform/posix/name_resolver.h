// Turns the engine's Windows-form paths into names on disk: '\' and '/' both
// separate, runs of them count as one, and each component is found without
// regard to case. Work is done per folder, not per file: what a folder path
// resolved to is remembered, and so is an index of each recent folder's names
// (one readdir pass), so a walk copying many files of one folder reads it
// once. Both caches hold only the last few folders, so memory follows the
// largest folder, not the tree.
#pragma once

#ifndef VOSTREL_POSIX_LAYER
#error "platform/posix/name_resolver.h is private to the POSIX layer: include platform/*.h"
#endif

#include <cstddef>
#include <list>
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vostrel::posix {

// A small least-recently-used map.
template <typename Value>
class LruMap {
 public:
  explicit LruMap(size_t capacity) : capacity_(capacity) {}

  Value* Find(const std::string& key) {
    // A copy asks about the same folder several times in a row: the last
    // answer is kept, and it is the most recent item already.
    if (last_ != nullptr && key == lastKey_) return last_;
    auto found = where_.find(key);
    if (found == where_.end()) return nullptr;
    items_.splice(items_.begin(), items_, found->second);
    lastKey_ = key;
    last_ = &found->second->second;
    return last_;
  }

  Value& Put(const std::string& key, Value value) {
    Erase(key);
    last_ = nullptr;
    items_.emplace_front(key, std::move(value));
    where_[key] = items_.begin();
    if (items_.size() > capacity_) {
      where_.erase(items_.back().first);
      items_.pop_back();
    }
    return items_.front().second;
  }

  void Erase(const std::string& key) {
    last_ = nullptr;
    auto found = where_.find(key);
    if (found == where_.end()) return;
    items_.erase(found->second);
    where_.erase(found);
  }

  void Clear() {
    last_ = nullptr;
    items_.clear();
    where_.clear();
  }

  template <typename Predicate>
  void EraseIf(Predicate predicate) {
    last_ = nullptr;
    for (auto it = items_.begin(); it != items_.end();) {
      if (predicate(it->second)) {
        where_.erase(it->first);
        it = items_.erase(it);
      } else {
        ++it;
      }
    }
  }

 private:
  using Item = std::pair<std::string, Value>;
  size_t capacity_;
  std::list<Item> items_;
  std::unordered_map<std::string, typename std::list<Item>::iterator> where_;
  std::string lastKey_;
  Value* last_ = nullptr;
};

// A path split at its separators, anchored at a native folder.
struct SplitPath {
  std::string base;                // "/", or the current folder for a relative path
  bool trailingSeparator = false;  // ended with a separator
  std::vector<std::string> parts;  // never empty strings
};

// Relative paths are anchored at the current folder now, so the caches stay
// right should it change later.
SplitPath Split(const std::string& path);

// `folder` + "/" + `name`, where "" is the current folder and "/" the root.
std::string JoinNative(const std::string& folder, const std::string& name);
// A native folder path usable in a system call ("" becomes ".").
std::string OpenableFolder(const std::string& folder);
// The path with every link followed; empty when it cannot be resolved.
std::string RealPath(const std::string& path);
// Where the open `fd` is now, as the kernel names it; empty when it cannot
// say as a plain path (no /proc, removed, out of reach).
std::string NameOfOpen(int fd);

// A folder path resolved against the disk.
struct ResolvedFolder {
  std::string native;
  bool found = false;       // every component exists
  size_t existingSize = 0;  // native.substr(0, existingSize) is the part that exists
};

// One name of a folder as read from disk.
struct FolderEntry {
  std::u16string key;  // ListingKey(name): none where the name is plain ASCII
  std::string name;
};

class NameResolver {
 public:
  NameResolver();

  // Resolves the first `count` components of `path`. A component that does
  // not exist is kept as given, and so is everything after it, so that a
  // creation uses the caller's spelling. "." and ".." pass through.
  ResolvedFolder ResolveFolder(const SplitPath& path, size_t count);

  // The folder's own spelling of `name` under any case: the exact name when
  // it is there, else the first variant in enumeration order. False when
  // there is none (or the folder cannot be read).
  bool Lookup(const std::string& folder, const std::string& name, std::string& spelling);
  // Whether the folder's index is at hand and holds `name` under no case:
  // the answer without a system call, true to our own changes.
  bool KnownAbsent(const std::string& folder, const std::string& name);

  // Keep the caches true to our own changes.
  void NoteAdded(const std::string& folder, const std::string& name);
  void NoteRemoved(const std::string& folder, const std::string& name);
  // A folder we just created: it is known to be empty, and `path` (its first
  // `count` components) names it.
  void NoteFolderCreated(const SplitPath& path, size_t count, const std::string& native);
  // The folder was just listed: what the index held of it may be stale.
  void NoteListed(const std::string& folder) {
    absentIn_ = nullptr;
    indexes_.Erase(folder);
  }
  // Something we took to exist has gone behind our back: start afresh.
  void Forget();

 private:
  // The spellings of one folded name, in enumeration order, so the first is
  // what a case-insensitive lookup finds. Nearly every name has just one,
  // which then needs no list of its own.
  struct Spellings {
    std::string first;
    std::vector<std::string> more;

    bool Has(const std::string& name) const;
    void Add(const std::string& name);
    // False once none is left.
    bool Remove(const std::string& name);
  };
  // The names of one folder by folded key, in an arena of its own: a run
  // adds the name of every file it copies and drops whole indexes as it
  // moves on, so a name costs no allocation or release of its own.
  struct FolderIndex {
    using Key = std::pmr::u16string;
    // Not noexcept, so the table keeps each name's hash code (libstdc++):
    // growing it then hashes no name again, and a look-up compares codes
    // before names.
    struct KeyHash {
      size_t operator()(const Key& key) const { return std::hash<std::u16string_view>()(key); }
    };
    FolderIndex()
        : arena(std::make_unique<std::pmr::monotonic_buffer_resource>(kArenaStart)),
          names(arena.get()) {}

    static constexpr size_t kArenaStart = 4096;
    std::unique_ptr<std::pmr::monotonic_buffer_resource> arena;  // first: it outlives `names`
    std::pmr::unordered_map<Key, Spellings, KeyHash> names;
  };

  FolderIndex* IndexOf(const std::string& folder);
  // FoldKey(name), kept for the last name: a copy asks about its name
  // several times in a row.
  const FolderIndex::Key& KeyOfName(const std::string& name);
  static std::string KeyOf(const SplitPath& path, size_t count);

  LruMap<std::string> resolved_;  // folder path as given -> native path
  LruMap<FolderIndex> indexes_;   // native folder -> its names
  std::string lastName_;
  std::u16string folded_;  // KeyOfName's and IndexOf's work space
  FolderIndex::Key lastNameKey_;
  // The index KnownAbsent last found `lastName_` missing from, unchanged
  // since: the Lookup of the same name that follows it before a copy
  // answers without searching again. Null once any index changes.
  const FolderIndex* absentIn_ = nullptr;
};

}  // namespace vostrel::posix
