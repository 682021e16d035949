#include <string>
#include <vector>

#include "engine/steps.h"
#include "engine/windows_path.h"

namespace vostrel {

namespace {

// Names the walk never takes (".", "..", and hidden names as the original
// skipped them).
bool Skipped(const FindData& entry) { return !entry.name.empty() && entry.name[0] == '.'; }

// The copies of a folder's plain files the walk is about to ask for, named
// to the file system as the walk enters the folder and dropped as it leaves
// it, so that they can be made ahead. Links are left to the walk's own
// check of where they lead.
class CopiesAheadScope {
 public:
  CopiesAheadScope(FileSystem& fs, const FindData& first, const FolderEnumeration& rest,
                   const std::string& source, const std::string& dest)
      : fs_(fs) {
    std::vector<FindData> entries = rest.Ahead();
    std::vector<std::string> names;
    if (!entries.empty()) entries.insert(entries.begin(), first);
    for (FindData& entry : entries) {
      if (Skipped(entry) || entry.IsDirectory() || (entry.attributes & kFileAttributeReparsePoint))
        continue;
      names.push_back(std::move(entry.name));
    }
    fs_.BeginCopiesAhead(source, dest, names);
  }
  ~CopiesAheadScope() { fs_.EndCopiesAhead(); }

 private:
  FileSystem& fs_;
};

// The walk's guards: it never copies the kit into itself and never follows a
// link back into a folder it is already inside, so every walk ends.
class Walker {
 public:
  explicit Walker(RunContext& run) : run_(run) {}

  unsigned long Copy(const std::string& source, const std::string& dest, bool recursive) {
    FolderId id;
    if (run_.fs.IdentifyFolder(source, id)) {
      if (run_.haveDestId && id == run_.destId) {
        run_.feedback.FolderSkipped(source, "it is the destination");
        return 0;
      }
      chain_.push_back(id);
    }
    if (run_.fs.IdentifyFolder(dest, id)) chain_.push_back(id);
    return Walk(source, dest, recursive);
  }

 private:
  // Whether the walk may enter the source sub-folder; records its identity
  // and that of its copy in the chain of folders the walk is inside.
  bool Enter(const FindData& entry, const std::string& source) {
    FolderId id;
    if (!run_.fs.IdentifyFolder(source, id)) return true;
    if (run_.haveDestId && id == run_.destId) {
      run_.feedback.FolderSkipped(source, "it is the destination");
      return false;
    }
    for (const FolderId& inside : chain_) {
      if (inside == id) {
        run_.feedback.FolderSkipped(source, "it leads back into a folder being copied");
        return false;
      }
    }
    // Only a link can lead from the medium into the kit below its root.
    if ((entry.attributes & kFileAttributeReparsePoint) && !run_.destFullPath.empty()) {
      const std::string full = run_.fs.FullPath(source);
      if (winpath::IsWithin(full, run_.destFullPath) &&
          winpath::PathKey(full) != winpath::PathKey(run_.destFullPath)) {
        run_.feedback.FolderSkipped(source, "it leads into the destination");
        return false;
      }
    }
    if (LeadsOutsideMedium(entry, source)) return false;
    chain_.push_back(id);
    return true;
  }

  // A link on the medium that leads elsewhere on this machine would carry
  // whatever lies there (another disk, the system's own files) into a kit
  // that is then shared: it is left out, and said so.
  bool LeadsOutsideMedium(const FindData& entry, const std::string& source) {
    if ((entry.attributes & kFileAttributeReparsePoint) == 0) return false;
    if (mediumFullPath_.empty()) mediumFullPath_ = run_.fs.FullPath(run_.sourceRoot);
    if (winpath::IsWithin(run_.fs.FullPath(source), mediumFullPath_)) return false;
    run_.result.EntryLeftOut(source, "it is a link that leads outside the medium");
    return true;
  }

  unsigned long Walk(const std::string& source, const std::string& dest, bool recursive) {
    FindData entry;
    auto enumeration = run_.fs.FindFirst(source + "\\*.*", entry);
    if (!enumeration) return 0;  // a missing folder counts as an empty one
    const CopiesAheadScope ahead(run_.fs, entry, *enumeration, source, dest);
    std::string sourcePath, destPath;  // one allocation each for the whole folder
    do {
      if (Skipped(entry)) continue;
      winpath::JoinInto(source, entry.name, sourcePath);
      winpath::JoinInto(dest, entry.name, destPath);
      if (entry.IsDirectory()) {
        if (!recursive) continue;
        const std::size_t depth = chain_.size();
        if (!Enter(entry, sourcePath)) continue;
        run_.fs.CreateFolder(destPath);
        FolderId destId;
        if (run_.fs.IdentifyFolder(destPath, destId)) chain_.push_back(destId);
        Walk(sourcePath, destPath, true);  // what happens below never ends this level
        chain_.resize(depth);
      } else if (LeadsOutsideMedium(entry, sourcePath)) {
        continue;
      } else if (!run_.fs.CopyOneFile(sourcePath, destPath, true)) {
        const unsigned long code = run_.fs.LastError();
        if (run_.resume && code == win32_error::kFileExists) continue;  // kept as it is
        run_.result.WalkStopped(source, code);
        return code;
      }
    } while (enumeration->Next(entry));
    const unsigned long code = run_.fs.LastError();
    if (code == win32_error::kNoMoreFiles) return 0;
    run_.result.WalkStopped(source, code);
    return code;
  }

  RunContext& run_;
  std::vector<FolderId> chain_;
  std::string mediumFullPath_;  // the source root on disk, found at the first link
};

}  // namespace

unsigned long CopyTree(RunContext& run, const std::string& source, const std::string& dest,
                       bool recursive) {
  return Walker(run).Copy(source, dest, recursive);
}

void CopyFolder(RunContext& run, const char* suffix, bool recursive) {
  CopyTree(run, run.sourceRoot + suffix, run.destRoot + suffix, recursive);
}

void CreateFolders(RunContext& run, const std::vector<const char*>& suffixes) {
  for (const char* suffix : suffixes) run.fs.CreateFolder(run.destRoot + suffix);
}

}  // namespace vostrel
