// Real folders on disk for tests: a fresh temporary tree per test, removed
// afterwards, with helpers to lay out a medium and read a kit back.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vostrel::testing {

class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // Absolute native path of the tree's root, without a trailing separator.
  const std::string& root() const { return root_; }
  // root() + "/" + relative, with '/' separators in `relative`.
  std::string Path(const std::string& relative) const;

  // Creates the file (and its parent folders) holding `content`.
  void Write(const std::string& relative, const std::string& content) const;
  void MakeDir(const std::string& relative) const;
  void MakeReadOnly(const std::string& relative) const;
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;
  bool IsReadOnly(const std::string& relative) const;

  // Every file and folder below `relative` as "path" -> content ("/" marks a
  // folder), paths relative to it with '/' separators.
  std::map<std::string, std::string> Snapshot(const std::string& relative = "") const;

 private:
  std::string root_;
};

}  // namespace vostrel::testing
