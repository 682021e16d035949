#include "platform/posix/copies_ahead.h"

#include <sys/stat.h>

#include <deque>
#include <utility>

#include "engine/windows_path.h"
#include "platform/posix/data_mover.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/win32_errors.h"

namespace vostrel::posix {

namespace {

// Copies made and not yet taken, at most: each holds a descriptor and its
// room on the disk, and the walk takes them in order, so a longer lead buys
// nothing.
constexpr size_t kMostAhead = 64;
// Workers held back by kMostAhead start again only once the walk has taken
// this many of the copies: waking one worker for each copy taken costs two
// thread switches per file, more than a small file's copy.
constexpr size_t kRestartBelow = kMostAhead / 2;

// A worker's copy of the file `leaf` between `folders` into an unnamed file,
// whole, with its mode and times; 0 or an errno.
int MakeAhead(const PosixFileSystem::CopyOptions& options, const AheadFolders& folders,
              const std::string& leaf, MadeCopy& made) {
  thread_local std::vector<char> buffer;
  // As on the walk's thread: a reflink refused between two disks is not
  // asked for again there.
  thread_local std::pair<uint64_t, uint64_t> noClone{~uint64_t{0}, ~uint64_t{0}};
  UniqueFd in(openat(folders.from, leaf.c_str(), kSourceFlags));
  struct stat status;
  if (!in || fstat(in.get(), &status) != 0) return errno;
  if (!S_ISREG(status.st_mode)) return EACCES;
  const DataSource source = DataSource::OfFile(in.get(), status);
  const bool modeSet = CreatesExactly(folders.createMask, source.mode);
  if (const int error = made.file.CreateUnnamed(folders.into, "", modeSet ? source.mode : 0600)) {
    return error;
  }
  const int out = made.file.fd();
  const std::pair<uint64_t, uint64_t> disks{source.device, static_cast<uint64_t>(folders.device)};
  const DataMoved moved = MoveData(source, out, options.clone && noClone != disks,
                                   options.copyFileRange, nullptr, buffer);
  if (moved.error != 0) return moved.error;
  if (moved.cloneRefused) noClone = disks;
  made.bytes = moved.bytes;
  made.cloned = moved.cloned;
  if (!modeSet && fchmod(out, source.mode) != 0) return errno;
  return futimens(out, source.times) != 0 ? errno : 0;
}

}  // namespace

struct CopiesAhead::Job {
  enum class State { kWaiting, kMaking, kMade, kFailed, kGone };

  explicit Job(std::string name) : leaf(std::move(name)) {}

  std::string leaf;  // the file's name, in the source folder and in the kit
  State state = State::kWaiting;
  bool dropped = false;  // while in the making: its worker drops it when done
  MadeCopy made;
  int error = 0;
};

struct CopiesAhead::Level {
  std::string source, dest;  // the folders, as the engine names them
  UniqueFd from, into;
  AheadFolders folders;     // the two above, as copies are made between them
  struct stat folder = {};  // of `into`
  std::deque<Job> jobs;
  size_t next = 0;   // the first job no worker has started
  size_t taken = 0;  // the first job the walk has not reached

  // Drops the jobs the walk has not reached yet.
  void DropRest(CopiesAhead& owner) {
    for (; taken < jobs.size(); ++taken) owner.Drop(jobs[taken]);
  }
};

CopiesAhead::CopiesAhead(unsigned workers, CopyFn copy) : copy_(std::move(copy)) {
  for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
}

CopiesAhead::~CopiesAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
    for (const std::shared_ptr<Level>& level : levels_) level->DropRest(*this);
    levels_.clear();
  }
  work_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void CopiesAhead::Enter(const std::string& source, const std::string& dest,
                        const std::vector<std::string>& names, const AheadFolders& folders) {
  auto level = std::make_shared<Level>();
  level->source = source;
  level->dest = dest;
  level->from.Reset(folders.from);
  level->into.Reset(folders.into);
  level->folders = folders;
  if (folders.from >= 0 && folders.into >= 0 && fstat(folders.into, &level->folder) == 0) {
    level->folders.device = level->folder.st_dev;
    for (const std::string& name : names) level->jobs.emplace_back(name);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  levels_.push_back(std::move(level));
  if (!stopped_) work_.notify_all();
}

void CopiesAhead::Leave() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (levels_.empty()) return;
  levels_.back()->DropRest(*this);
  levels_.pop_back();
  if (!stopped_) work_.notify_all();
}

void CopiesAhead::Take(const std::string& existing, const std::string& target, Taken& taken) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Stopped: every copy was dropped, and waking a worker would find nothing.
  if (levels_.empty() || stopped_) return;
  Level& level = *levels_.back();
  size_t at = level.taken;
  while (at < level.jobs.size() && (winpath::Join(level.source, level.jobs[at].leaf) != existing ||
                                    winpath::Join(level.dest, level.jobs[at].leaf) != target)) {
    ++at;
  }
  if (at == level.jobs.size()) return;  // not named ahead: the walk copies it
  for (; level.taken < at; ++level.taken) Drop(level.jobs[level.taken]);
  ++level.taken;
  Job& job = level.jobs[at];
  made_or_dropped_.wait(lock, [&job] { return job.state != Job::State::kMaking; });
  if (job.state == Job::State::kMade) {
    taken.state = Taken::State::kMade;
    taken.made = std::move(job.made);
    taken.device = level.folder.st_dev;
    taken.inode = level.folder.st_ino;
    --made_;
  } else if (job.state == Job::State::kFailed) {
    taken.state = Taken::State::kFailed;
    taken.error = job.error;
  }
  job.state = Job::State::kGone;  // a job not started is the walk's own to copy
  MadeRoom();
}

void CopiesAhead::MadeRoom() {
  if (!heldBack_ || made_ > kRestartBelow) return;
  heldBack_ = false;
  work_.notify_all();
}

bool CopiesAhead::Stop() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopped_) return false;
  stopped_ = true;
  for (const std::shared_ptr<Level>& level : levels_) level->DropRest(*this);
  made_or_dropped_.wait(lock, [this] { return made_ == 0; });
  return true;
}

void CopiesAhead::Drop(Job& job) {
  if (job.state == Job::State::kMade) {
    job.made.file.Drop();
    --made_;
  }
  if (job.state == Job::State::kMaking) {
    job.dropped = true;
  } else {
    job.state = Job::State::kGone;
  }
}

CopiesAhead::Job* CopiesAhead::NextJob(std::shared_ptr<Level>& level) {
  if (stopped_ || levels_.empty()) return nullptr;
  if (made_ >= kMostAhead) {
    heldBack_ = true;
    return nullptr;
  }
  level = levels_.back();
  while (level->next < level->jobs.size() &&
         level->jobs[level->next].state != Job::State::kWaiting) {
    ++level->next;
  }
  return level->next < level->jobs.size() ? &level->jobs[level->next] : nullptr;
}

void CopiesAhead::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    std::shared_ptr<Level> level;
    Job* job = nullptr;
    work_.wait(lock, [&] { return ending_ || (job = NextJob(level)) != nullptr; });
    if (ending_) return;
    job->state = Job::State::kMaking;
    ++made_;
    MadeCopy made;
    lock.unlock();
    const int error = copy_(level->folders, job->leaf, made);
    lock.lock();
    const bool dropped = job->dropped;
    if (dropped || error != 0) --made_;
    if (!dropped) {
      job->state = error != 0 ? Job::State::kFailed : Job::State::kMade;
      job->made = std::move(made);
      job->error = error;
    }
    made_or_dropped_.notify_one();  // only the walk's thread waits there
  }
}

CopiesAheadFileSystem::CopiesAheadFileSystem(std::unique_ptr<MediumFileSystem> inner)
    : inner_(std::move(inner)), disk_(inner_->Disk()) {}

void CopiesAheadFileSystem::CopyAheadWith(unsigned jobs) {
  ahead_.reset();
  if (jobs <= 1 || !disk_.Options().anonymousTemporary) return;
  ahead_ = std::make_unique<CopiesAhead>(
      jobs, [options = disk_.Options()](const AheadFolders& folders, const std::string& leaf,
                                        MadeCopy& made) {
        return MakeAhead(options, folders, leaf, made);
      });
  disk_.NameEntriesAhead();
}

void CopiesAheadFileSystem::BeginCopiesAhead(const std::string& source, const std::string& dest,
                                             const std::vector<std::string>& names) {
  if (!ahead_) return;
  AheadFolders folders;
  if (!names.empty()) {
    folders.from = disk_.DuplicateFolderOf(winpath::Join(source, names.front()));
    folders.into = disk_.DuplicateFolderOf(winpath::Join(dest, names.front()), &folders.createMask);
  }
  ahead_->Enter(source, dest, names, folders);
}

bool CopiesAheadFileSystem::CopyOneFile(const std::string& existing, const std::string& target,
                                        bool failIfExists) {
  bool copied = false;
  if (failIfExists && TakeMadeCopy(existing, target, copied)) return copied;
  copied = WithRoom([&] { return FromInner(inner_->CopyOneFile(existing, target, failIfExists)); });
  return EndOfCopy(copied, disk_.LastCopyCloned());
}

bool CopiesAheadFileSystem::TakeMadeCopy(const std::string& existing, const std::string& target,
                                         bool& copied) {
  if (!ahead_) return false;
  CopiesAhead::Taken taken;
  ahead_->Take(existing, target, taken);
  if (taken.state == CopiesAhead::Taken::State::kFailed &&
      PendingFile::NoUnnamedFiles(taken.error)) {
    ahead_->Stop();  // no unnamed files in this kit's folders: one file at a time
  }
  if (taken.state != CopiesAhead::Taken::State::kMade) return false;
  const PosixFileSystem::Placed placed =
      disk_.PlaceMadeAhead(target, taken.made.file, taken.made.bytes, taken.device, taken.inode);
  if (placed == PosixFileSystem::Placed::kNotPlaced) return false;
  diskAnswered_ = true;
  copied = EndOfCopy(placed == PosixFileSystem::Placed::kCopied, taken.made.cloned);
  return true;
}

bool CopiesAheadFileSystem::EndOfCopy(bool copied, bool cloned) {
  // A reflink costs less than handing the file to a worker and taking it
  // back: where copies are reflinks, the walk makes each one itself.
  if (copied && cloned) StopAhead();
  return copied;
}

bool CopiesAheadFileSystem::WithRoom(const std::function<bool()>& write) {
  if (write()) return true;
  if (LastError() != win32_error::kDiskFull || !StopAhead()) return false;
  return write();
}

bool CopiesAheadFileSystem::FromInner(bool result) {
  diskAnswered_ = false;
  return result;
}

unsigned long CopiesAheadFileSystem::LastError() const {
  return diskAnswered_ ? disk_.LastError() : inner_->LastError();
}

bool CopiesAheadFileSystem::CreateFolder(const std::string& path) {
  return WithRoom([&] { return FromInner(inner_->CreateFolder(path)); });
}

bool CopiesAheadFileSystem::WriteProfileEntry(const std::string& section, const std::string& key,
                                              const std::string& value, const std::string& path) {
  return WithRoom([&] { return FromInner(inner_->WriteProfileEntry(section, key, value, path)); });
}

std::unique_ptr<FolderEnumeration> CopiesAheadFileSystem::FindFirst(const std::string& pattern,
                                                                    FindData& first) {
  std::unique_ptr<FolderEnumeration> listed = inner_->FindFirst(pattern, first);
  FromInner(true);
  if (!listed) return nullptr;
  return PosixFileSystem::Marking(std::move(listed), diskAnswered_, false);
}

bool CopiesAheadFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  return FromInner(inner_->SetAttributes(path, attributes));
}

bool CopiesAheadFileSystem::RemoveFile(const std::string& path) {
  return FromInner(inner_->RemoveFile(path));
}

bool CopiesAheadFileSystem::IdentifyFolder(const std::string& path, FolderId& id) {
  return FromInner(inner_->IdentifyFolder(path, id));
}

bool CopiesAheadFileSystem::GetInfo(const std::string& path, FileInfo& info) {
  return FromInner(inner_->GetInfo(path, info));
}

}  // namespace vostrel::posix
