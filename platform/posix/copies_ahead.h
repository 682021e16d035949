// Copies made ahead of the walk on worker threads (vostrel-kit --jobs N).
// Each folder the walk enters names its files' copies in order; workers copy
// them into unnamed files (O_TMPFILE) in the kit folder, and the walk's own
// thread takes each one when it asks for that copy, to link it into place or
// drop it. Nothing here touches a name on disk: a copy never taken vanishes
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

#include "platform/posix/posix_internal.h"

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
  UniqueFd out;
  uint64_t bytes = 0;
  bool cloned = false;
};

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

  void Work();
  // The next copy to make, with the lock held; nullptr when none may start.
  Job* NextJob(std::shared_ptr<Level>& level);
  void Drop(Job& job);

  CopyFn copy_;
  std::mutex mutex_;
  std::condition_variable work_;                // workers wait here for a copy to make
  std::condition_variable made_or_dropped_;     // the walk's thread waits here
  std::vector<std::shared_ptr<Level>> levels_;  // the folders the walk is in, innermost last
  size_t made_ = 0;  // copies made or in the making and not yet taken or dropped
  bool stopped_ = false;
  bool ending_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace vostrel::posix
