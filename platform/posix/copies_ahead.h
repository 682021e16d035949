// Copies made ahead of the walk on worker threads (vostrel-kit --jobs N), as
// a file system around the native one. Each folder the walk enters names its
// files' copies in order (BeginCopiesAhead); workers copy them into unnamed
// pending files in the kit folder, and CopyOneFile takes each one when the
// walk asks for that copy, to link it into place or drop it. Once those are
// all started, workers go on in the walk's order: they list the folders
// below and copy their files too, unnamed in the folder the walk is in, to
// be taken when the walk gets there, then what is left of the folders above.
// Nothing made ahead touches a name on disk: a copy never taken vanishes
// with its descriptor, on any ending of the process.
#pragma once

#ifndef VOSTREL_POSIX_LAYER
#error "platform/posix/copies_ahead.h is private to the POSIX layer: include platform/*.h"
#endif

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/file_system.h"
#include "platform/native.h"
#include "platform/posix/medium_file_system.h"
#include "platform/posix/pending_file.h"
#include "platform/posix/posix_file_system.h"

namespace vostrel::posix {

// The folders a copy made ahead goes between, open as `from` and `into`;
// the disk `into` is on, and the permission bits a file created there loses
// (negative: not known, so each copy sets its own).
struct AheadFolders {
  int from = -1, into = -1;
  dev_t device = 0;
  int createMask = -1;
};

// A copy made ahead: the unnamed file, its size, and whether it shares the
// original's blocks (a reflink).
struct MadeCopy {
  PendingFile file;
  uint64_t bytes = 0;
  bool cloned = false;
};

// The copies of the folders a walk is in, made and taken in order.
class CopiesAhead {
 public:
  // Copies the file `leaf` of `folders.from` into an unnamed file in
  // `folders.into`, whole, with its mode and times; 0 (and `made`) or an
  // errno.
  using CopyFn =
      std::function<int(const AheadFolders& folders, const std::string& leaf, MadeCopy& made)>;

  // What the walk's thread gets for a copy it asks for: none made (it
  // copies the file itself), the copy made, or why making it failed.
  struct Taken {
    enum class State { kNone, kMade, kFailed } state = State::kNone;
    MadeCopy made;     // kMade: the unnamed copy
    int error = 0;     // kFailed: the errno
    dev_t device = 0;  // kMade: the folder the copy was made in
    ino_t inode = 0;
  };

  CopiesAhead(unsigned workers, CopyFn copy);
  ~CopiesAhead();
  CopiesAhead(const CopiesAhead&) = delete;
  CopiesAhead& operator=(const CopiesAhead&) = delete;

  // The walk enters a folder: the copies of its files `names`, in order,
  // from `source` into `dest`, both engine paths (`folders`: their
  // descriptors, O_PATH, now owned). Invalid descriptors or no names:
  // nothing is made ahead.
  void Enter(const std::string& source, const std::string& dest,
             const std::vector<std::string>& names, const AheadFolders& folders);
  // The walk leaves the folder it entered last: copies never taken are dropped.
  void Leave();
  // The walk asks for a copy of the folder it is in. Copies of that folder
  // named before it and not asked for are dropped (the walk passed them).
  void Take(const std::string& existing, const std::string& target, Taken& taken);
  // Drops every copy made or in the making, once its worker is done, and
  // makes none from now on (the disk is full: the room they take goes back
  // before the run goes on). False when it had stopped already.
  bool Stop();

 private:
  struct Job;
  struct Level;
  struct Task;

  void Work();
  // How many workers may be busy at once: all of them while copies wait on
  // the disk, else one fewer than the cores (the walk's thread is the
  // last): threads beyond the cores only take turns on them.
  size_t BusyWorkersAllowed() const;
  // A worker's copy took `cpu` of its thread's time in `wall`.
  void NoteCopyTime(double cpu, double wall);
  // Does `task` (NextTask's), entered and left with the lock held.
  void Run(std::unique_lock<std::mutex>& lock, const Task& task);
  // Waits until `done`, doing the workers' tasks meanwhile.
  void HelpUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done);
  // The next thing for a worker to do, with the lock held; kNone when
  // nothing may start.
  // `worker`: asked by a worker, not by the walk's thread helping.
  Task NextTask(bool worker);
  // A worker's listing of the sub-folders of a folder, or of the files of
  // one of them; entered and left with the lock held.
  void ListBelow(std::unique_lock<std::mutex>& lock, const Task& task);
  // The next task in `level` or the folders below it, depth first, as the
  // walk will get to them: true once found (`task`), or once nothing more
  // may start (`task` left empty); false to look further on. `holding`:
  // the folders below met so far that hold descriptors.
  bool Search(const std::shared_ptr<Level>& level, size_t& holding, Task& task);
  void ListFiles(std::unique_lock<std::mutex>& lock, const Task& task);
  // The walk enters `level` below `parent`: the copies made for it ahead in
  // a folder above become its own where they equal copies made in it, and
  // the folders below it listed ahead its own.
  void TakeOver(std::unique_lock<std::mutex>& lock, Level& parent, Level& level);
  void Drop(Job& job);
  // Wakes the workers held back by the lead, once there is room for many.
  void MadeRoom();
  // Wakes the workers waiting for a task, as many as may be busy.
  void WakeWorkers();

  CopyFn copy_;
  std::mutex mutex_;
  std::condition_variable work_;                // workers wait here for a copy to make
  std::condition_variable made_or_dropped_;     // the walk's thread waits here
  std::vector<std::shared_ptr<Level>> levels_;  // the folders the walk is in, innermost last
  size_t made_ = 0;           // copies made or in the making and not yet taken or dropped
  bool heldBack_ = false;     // a worker found the lead at its most and waits for room
  size_t busy_ = 0;           // workers doing a task
  const size_t workerCount_;  // workers_.size(), known before the first starts
  size_t cores_ = 1;
  int waiting_;  // how much the copies timed lately waited on the disk
  bool stopped_ = false;
  bool ending_ = false;
  std::vector<std::thread> workers_;
};

// The native file system on Linux: the medium's (`inner`) for everything,
// but once asked to copy ahead on more than one thread, where a
// fail-if-exists copy was made ahead out of a folder of the disk under
// `inner`, that copy is placed instead. A write that finds the disk full
// while copies made ahead hold room drops them, makes none any more, and is
// tried once more: a full disk fails where a run one file at a time fails.
class CopiesAheadFileSystem : public platform::NativeFileSystem {
 public:
  explicit CopiesAheadFileSystem(std::unique_ptr<MediumFileSystem> inner);

  // Copies made ahead on `jobs` threads from now on; none where `jobs` is 1
  // or the disk makes no unnamed files.
  void CopyAheadWith(unsigned jobs) override;
  void ListNamesAndKindsOnly() override { disk_.ListNamesAndKindsOnly(); }
  platform::SkipListener SetSkipListener(platform::SkipListener onSkip) override {
    return inner_->SetSkipListener(std::move(onSkip));
  }
  void SetByteListener(platform::ByteListener onBytes) override {
    inner_->SetByteListener(std::move(onBytes));
  }
  bool ReadMediumFile(const std::string& path, const platform::ChunkSink& take,
                      std::string& error) override {
    return inner_->ReadMediumFile(path, take, error);
  }
  void StandImage(std::unique_ptr<platform::OpenedImage> image) override {
    // Only this layer's OpenImageSource makes them.
    inner_->AddImage(std::unique_ptr<OpenImage>(static_cast<OpenImage*>(image.release())));
  }

  void BeginCopiesAhead(const std::string& source, const std::string& dest,
                        const std::vector<std::string>& names) override;
  void EndCopiesAhead() override {
    if (ahead_) ahead_->Leave();
  }
  bool CopyOneFile(const std::string& existing, const std::string& target,
                   bool failIfExists) override;
  bool CreateFolder(const std::string& path) override;
  bool WriteProfileEntry(const std::string& section, const std::string& key,
                         const std::string& value, const std::string& path) override;
  unsigned long LastError() const override;

  std::unique_ptr<FolderEnumeration> FindFirst(const std::string& pattern,
                                               FindData& first) override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool RemoveFile(const std::string& path) override;
  std::string FullPath(const std::string& path) override { return inner_->FullPath(path); }
  bool IdentifyFolder(const std::string& path, FolderId& id) override;
  bool GetInfo(const std::string& path, FileInfo& info) override;
  uint64_t LastCopySize() const override { return inner_->LastCopySize(); }

 private:
  // Places the copy made ahead of `existing`, if there is one; false where
  // CopyOneFile is to copy the file itself.
  bool TakeMadeCopy(const std::string& existing, const std::string& target, bool& copied);
  template <typename Write>
  bool WithRoom(const Write& write);
  // What CopyOneFile returns, once copies ahead are stopped where its copy
  // was a reflink.
  bool EndOfCopy(bool copied, bool cloned);
  bool FromInner(bool result);
  bool StopAhead() { return ahead_ && ahead_->Stop(); }

  std::unique_ptr<MediumFileSystem> inner_;
  PosixFileSystem& disk_;
  bool diskAnswered_ = false;           // the last call was answered by placing a copy made ahead
  std::unique_ptr<CopiesAhead> ahead_;  // last: its workers end before the rest goes
};

}  // namespace vostrel::posix
