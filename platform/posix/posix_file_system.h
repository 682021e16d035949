// The engine's file system on Linux. It keeps the Win32 contract the engine
// was written against: Windows-form paths, names matched without regard to
// case, folders enumerated in NTFS order, Win32 error codes, fail-if-exists
// copies that never leave a partial file under a final name, and read-only
// files that cannot be deleted.
#pragma once

#ifndef VOSTREL_POSIX_LAYER
#error "platform/posix/posix_file_system.h is private to the POSIX layer: include platform/*.h"
#endif

#include <dirent.h>
#include <sys/types.h>

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/file_system.h"
#include "platform/native.h"
#include "platform/posix/data_mover.h"
#include "platform/posix/name_resolver.h"

struct stat;

namespace vostrel::posix {

class UniqueFd;
class PendingFile;

class PosixFileSystem : public FileSystem {
 public:
  // How a copy reaches the disk. Every way is on by default and each falls
  // back to the next where the file system lacks it; switching one off
  // makes the fallback reachable on any disk.
  struct CopyOptions {
    bool anonymousTemporary = true;  // O_TMPFILE, else a named "." temporary
    bool clone = true;               // FICLONE reflink
    bool copyFileRange = true;       // copy_file_range, else read/write
  };

  // `onSkip` hears of every entry an enumeration leaves out because its name
  // cannot exist on Windows.
  explicit PosixFileSystem(platform::SkipListener onSkip = nullptr);
  PosixFileSystem(platform::SkipListener onSkip, CopyOptions options);
  ~PosixFileSystem() override;

  // Hears the bytes of each copy as they are written (a copy made ahead:
  // when it is placed).
  void SetByteListener(platform::ByteListener onBytes) { onBytes_ = std::move(onBytes); }

  bool CreateFolder(const std::string& path) override;
  bool CopyOneFile(const std::string& existing, const std::string& target,
                   bool failIfExists) override;
  std::unique_ptr<FolderEnumeration> FindFirst(const std::string& pattern,
                                               FindData& first) override;
  unsigned long LastError() const override { return lastError_; }
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool WriteProfileEntry(const std::string& section, const std::string& key,
                         const std::string& value, const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  std::string FullPath(const std::string& path) override;
  bool IdentifyFolder(const std::string& path, FolderId& id) override;
  bool GetInfo(const std::string& path, FileInfo& info) override;
  uint64_t LastCopySize() const override { return lastCopySize_; }

  // CopyOneFile for a file from outside the disk: the same fail-if-exists
  // write, whole or not at all, with the file's time and read-only bit.
  bool CopyFromStream(const StreamedFile& file, const std::string& target, bool failIfExists);

  // A folder's entries that match `pattern` (a FindFirst name pattern) as
  // Windows lists them: "." and ".." first when `withDots` (every folder but
  // a volume's root), then in NTFS order. Empty when none matches.
  static std::vector<FindData> Matching(const std::string& pattern, bool withDots,
                                        std::vector<FolderEntry>& listing,
                                        const std::vector<uint32_t>& attributes);
  // An enumeration that hands out `entries` (the first already handed out by
  // FindFirst), ending with ERROR_NO_MORE_FILES in `lastError`.
  // `tellAhead`: it names the entries still to come (Ahead).
  static std::unique_ptr<FolderEnumeration> Enumerate(unsigned long& lastError,
                                                      std::vector<FindData> entries,
                                                      bool tellAhead = false);
  // An enumeration of `inner` that sets `flag` to `value` at every step: for
  // a file system over others, which of them answers LastError().
  static std::unique_ptr<FolderEnumeration> Marking(std::unique_ptr<FolderEnumeration> inner,
                                                    bool& flag, bool value);

  // What copies made ahead (platform/posix/copies_ahead.h) need of the disk
  // they are made on.
  const CopyOptions& Options() const { return options_; }
  // Enumerations from now on name the entries still to come (Ahead).
  void NameEntriesAhead() { tellAhead_ = true; }
  // Listings from now on leave a plain file's read-only bit out (a walk
  // reads names and kinds only, and the bit costs a look-up per file).
  void ListNamesAndKindsOnly() { readOnlyBit_ = false; }
  // A descriptor of its own (O_PATH) of the folder that holds `path`, as
  // the copies through that folder hold it, and the permission bits a file
  // created there loses (negative: not known); -1 when it cannot be held.
  int DuplicateFolderOf(const std::string& path, int* createMask = nullptr);
  // Whether the last copy CopyOneFile made itself was a reflink.
  bool LastCopyCloned() const { return cloned_; }
  // Places an unnamed copy made in the folder (`device`, `inode`) as
  // `target`, as CopyOneFile places its own: copied, failed (LastError set),
  // or not placed (that folder is no longer the target's): the file is then
  // CopyOneFile's to copy.
  enum class Placed { kCopied, kFailed, kNotPlaced };
  Placed PlaceMadeAhead(const std::string& target, PendingFile& file, uint64_t bytes, dev_t device,
                        ino_t inode);

 private:
  class Enumeration;
  struct Location;
  struct OpenFolder;
  struct FolderRef;

  Location Locate(const std::string& path);
  template <typename Probe>
  int ProbeExisting(Location& location, Probe probe);
  // stat() of an existing item (links followed); false with LastError set.
  bool StatExisting(const std::string& path, struct ::stat& status);
  // The same of the item `location` names; lstat() when not `followLinks`.
  bool StatLocated(Location& location, struct ::stat& status, bool followLinks);

  // The folder that holds the item `path` names, held open, and the item's
  // name in `leaf`; nullptr where the path takes the long way (not absolute,
  // no plain last name, a folder that is missing or cannot be opened).
  OpenFolder* FolderOf(const std::string& path, std::string& leaf);
  // Whether a folder held open is no longer the one its path names.
  static bool IsStale(const OpenFolder& folder);
  // Drops everything remembered about the disk: names and open folders.
  void Forget();

  // FindFirst's parts: the folder opened for reading (null with LastError
  // set), all its names that can exist on Windows with their attributes,
  // and those that match the pattern in the order Windows lists them.
  DIR* OpenListing(const Location& where);
  bool ReadListing(DIR* dir, const std::string& folder, std::vector<FolderEntry>& listing,
                   std::vector<uint32_t>& attributes);

  bool Fail(unsigned long win32Code);
  // Fails with the Win32 code for `error`; a missing item gives 2 when its
  // folder exists and 3 when it does not.
  bool FailErrno(int error, const Location& location);

  // How one step of a copy ended: done, failed (LastError set), or stale: a
  // folder held open was removed or replaced behind our back, and the copy
  // is worth one more try once both folders are found again by name.
  enum class Outcome { kOk, kFailed, kStale };
  static Outcome OutcomeOf(bool ok) { return ok ? Outcome::kOk : Outcome::kFailed; }
  struct PendingCopy;

  // Runs one try of a copy, and once more where a folder held open was
  // replaced meanwhile.
  template <typename Attempt>
  bool TriedAgainWhenStale(Attempt attempt);
  // One try of CopyOneFile.
  Outcome CopyThroughFolders(const std::string& existing, const std::string& target,
                             bool failIfExists);
  // Opens the file to copy, by name in a folder held open or the long way.
  Outcome OpenSource(const std::string& existing, UniqueFd& in);
  // The copy of `source` under the name `target`, once its bytes are known.
  Outcome CopyTo(const std::string& target, bool failIfExists, const DataSource& source);
  // The folder the copy goes into and the copy's name in it; false with
  // LastError set.
  bool OpenTargetFolder(const std::string& target, FolderRef& folder, std::string& name);
  Outcome CopyInto(const FolderRef& folder, const std::string& leaf, const std::string& replacing,
                   const DataSource& source);
  Outcome CreatePending(PendingCopy& pending, mode_t wanted, bool mayBeUnnamed);
  // Data, permission bits and times; 0 or errno.
  int FillPending(PendingCopy& pending, const DataSource& source);
  // The copy under its final name, or what a failed copy left removed and
  // the failure reported (`error`: what placing it came to).
  Outcome Settle(PendingCopy& pending, int error);
  // The process's umask, read once; negative when it cannot be read.
  int UmaskBits();
  static bool HeldFolderReplaced(const FolderRef& folder, int error);

  platform::SkipListener onSkip_;
  platform::ByteListener onBytes_;
  CopyOptions options_;
  NameResolver names_;
  // The folders files were last copied from and into, most recent first.
  std::vector<std::unique_ptr<OpenFolder>> folders_;
  uint64_t forgets_ = 0;      // how often Forget ran: what was held before is gone
  std::vector<char> buffer_;  // the read/write fallback's buffer, kept between copies
  uint64_t noCloneDevice_ = 0;
  std::string noCloneFolder_;  // empty: reflinks not yet refused
  bool cloned_ = false;        // the last copy was a reflink
  bool tellAhead_ = false;
  static constexpr int kUmaskUnread = -2;
  int umaskBits_ = kUmaskUnread;
  bool readOnlyBit_ = true;
  unsigned long lastError_ = 0;
  uint64_t lastCopySize_ = 0;
};

}  // namespace vostrel::posix
