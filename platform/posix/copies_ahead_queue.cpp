// The order in which copies are made ahead and taken: the walk's order, from
// the folder it is in down through the folders below, which the workers list
// themselves and whose copies wait unnamed in a folder above until the walk
// enters them, then on through what is left of the folders above.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <deque>
#include <utility>

#include "engine/name_key.h"
#include "engine/windows_path.h"
#include "platform/posix/copies_ahead.h"
#include "platform/posix/posix_internal.h"

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
// Folders below the walk's with copies made or to be made ahead, at most.
constexpr size_t kMostFoldersAhead = 8;
// Every so many copies a worker times one; `waiting_` moves by one for
// each towards kMostWaiting (it waited on the disk) or 0, and while it is
// kWaitingFrom or more every worker may be busy.
constexpr unsigned kTimedEvery = 8;
constexpr int kMostWaiting = 16;
constexpr int kWaitingFrom = 8;
// A folder opened to be listed.
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The names in the folder open as `folder` of its sub-folders (`folders`) or
// of its plain files, never links, never hidden names, in the order a walk
// lists them. Nothing when the folder cannot be read.
std::vector<std::string> ListNames(int folder, bool folders) {
  std::vector<std::string> names;
  DIR* dir = fdopendir(folder);
  if (dir == nullptr) {
    close(folder);
    return names;
  }
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    unsigned char type = entry->d_type;
    struct stat status;
    if (type == DT_UNKNOWN &&
        fstatat(dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
      type = S_ISDIR(status.st_mode) ? DT_DIR : S_ISREG(status.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type == (folders ? DT_DIR : DT_REG)) names.emplace_back(entry->d_name);
  }
  closedir(dir);
  std::vector<std::pair<std::u16string, std::string>> keyed;
  keyed.reserve(names.size());
  for (std::string& name : names) keyed.emplace_back(names::ListingKey(name), std::move(name));
  names::SortListing(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    return names::NtfsLess(a.first, a.second, b.first, b.second);
  });
  for (size_t i = 0; i < keyed.size(); ++i) names[i] = std::move(keyed[i].second);
  return names;
}

// Takes `lock` again after a copy. It is held for a few instructions at a
// time: trying a while costs less than sleeping and being woken.
void Relock(std::unique_lock<std::mutex>& lock) {
  for (int tries = 0; tries < 200; ++tries) {
    if (lock.try_lock()) return;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  lock.lock();
}

// The calling thread's processor time, or the time since some moment, in s.
double ThreadSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
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
  enum class Listing { kNot, kUnder, kDone };

  std::string source, dest;  // the folders, as the engine names them
  UniqueFd from, into;
  AheadFolders folders;     // the two above, as copies are made between them
  struct stat folder = {};  // of `into`, where the copies go: for a folder below, above it
  std::deque<Job> jobs;
  size_t next = 0;   // the first job no worker has started
  size_t taken = 0;  // the first job the walk has not reached
  size_t making = 0;

  // A folder the walk is in: its sub-folders, the walk's next folders, as
  // the workers list them; their copies are made unnamed in `into`.
  Listing belowListed = Listing::kNot;
  std::vector<std::shared_ptr<Level>> below;
  std::string entered;  // the sub-folder the walk entered last: those up to it are passed
  // A folder below: its name, whether its files are listed, and the
  // identity of the source folder they were read from.
  std::string name;
  Listing filesListed = Listing::kNot;
  struct stat readFrom = {};

  bool Copies() const { return from && into; }
  // The first job no worker has started; nullptr when there is none.
  Job* NextWaiting() {
    while (next < jobs.size() && jobs[next].state != Job::State::kWaiting) ++next;
    return next < jobs.size() ? &jobs[next] : nullptr;
  }
  // Drops the jobs the walk has not reached yet, and the folders below.
  void DropRest(CopiesAhead& owner) {
    for (; taken < jobs.size(); ++taken) owner.Drop(jobs[taken]);
    for (const std::shared_ptr<Level>& level : below) level->DropRest(owner);
    below.clear();
  }
};

// What a worker does next: make a copy, list the sub-folders of a folder, or
// list the files of one of them (`parent`: the folder it is in).
struct CopiesAhead::Task {
  enum class Kind { kNone, kCopy, kListBelow, kListFiles } kind = Kind::kNone;
  std::shared_ptr<Level> level, parent;
  Job* job = nullptr;
};

CopiesAhead::CopiesAhead(unsigned workers, CopyFn copy)
    : copy_(std::move(copy)),
      workerCount_(workers),
      cores_(std::max(1u, std::thread::hardware_concurrency())),
      waiting_(kMostWaiting) {
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
  if (level->Copies() && fstat(folders.into, &level->folder) == 0) {
    level->folders.device = level->folder.st_dev;
    for (const std::string& name : names) level->jobs.emplace_back(name);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (!levels_.empty()) TakeOver(lock, *levels_.back(), *level);
  levels_.push_back(std::move(level));
  if (!stopped_) WakeWorkers();
}

void CopiesAhead::TakeOver(std::unique_lock<std::mutex>& lock, Level& parent, Level& level) {
  parent.entered = winpath::LastName(level.source);
  const auto found =
      std::find_if(parent.below.begin(), parent.below.end(), [&](const std::shared_ptr<Level>& b) {
        return b->source == level.source && b->dest == level.dest;
      });
  if (found == parent.below.end()) return;
  const std::shared_ptr<Level> ahead = *found;
  // The walk goes through the folders below in order: those before this
  // one it passed.
  for (auto passed = parent.below.begin(); passed != found; ++passed) (*passed)->DropRest(*this);
  parent.below.erase(parent.below.begin(), found + 1);
  HelpUntil(lock, [&] {
    return ahead->making == 0 && ahead->filesListed != Level::Listing::kUnder &&
           ahead->belowListed != Level::Listing::kUnder;
  });
  // A copy made in a folder above stands for one made here only where a
  // file made in either would be the same: the same source folder, the same
  // disk, no inherited permissions (a known creation mask, the same in both),
  // the same group.
  const struct stat& madeIn = ahead->folder;
  struct stat from;
  const bool same = !level.jobs.empty() && fstat(level.folders.from, &from) == 0 &&
                    from.st_dev == ahead->readFrom.st_dev &&
                    from.st_ino == ahead->readFrom.st_ino && level.folder.st_dev == madeIn.st_dev &&
                    level.folders.createMask >= 0 &&
                    level.folders.createMask == ahead->folders.createMask &&
                    (level.folder.st_mode & S_ISGID) == (madeIn.st_mode & S_ISGID) &&
                    ((level.folder.st_mode & S_ISGID) == 0 || level.folder.st_gid == madeIn.st_gid);
  // Both in the walk's order: each name looked for from the last one found;
  // past a few missing (the folder changed) the rest are made again.
  for (size_t i = 0, from = 0, missing = 0; same && i < level.jobs.size() && missing < 8; ++i) {
    size_t at = from;
    while (at < ahead->jobs.size() && ahead->jobs[at].leaf != level.jobs[i].leaf) ++at;
    if (at == ahead->jobs.size()) {
      ++missing;
      continue;
    }
    from = at + 1;
    if (ahead->jobs[at].state != Job::State::kMade) continue;
    level.jobs[i].state = Job::State::kMade;
    level.jobs[i].made = std::move(ahead->jobs[at].made);
    ahead->jobs[at].state = Job::State::kGone;
  }
  // Its folders listed ahead are this one's now (each knows where its copies are).
  if (ahead->belowListed == Level::Listing::kDone) {
    level.below = std::move(ahead->below);
    ahead->below.clear();
    level.belowListed = Level::Listing::kDone;
  }
  ahead->DropRest(*this);
}

void CopiesAhead::Leave() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (levels_.empty()) return;
  levels_.back()->DropRest(*this);
  levels_.pop_back();
  if (!stopped_) WakeWorkers();
}

void CopiesAhead::Take(const std::string& existing, const std::string& target, Taken& taken) {
  std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
  Relock(lock);
  // Stopped: every copy was dropped, and waking a worker would find nothing.
  if (levels_.empty() || stopped_) return;
  Level& level = *levels_.back();
  size_t at = level.taken;
  const auto joins = [](const std::string& path, const std::string& folder,
                        const std::string& leaf) {
    return path.size() == folder.size() + 1 + leaf.size() && path[folder.size()] == '\\' &&
           path.compare(0, folder.size(), folder) == 0 &&
           path.compare(folder.size() + 1, leaf.size(), leaf) == 0;
  };
  while (at < level.jobs.size() && (!joins(existing, level.source, level.jobs[at].leaf) ||
                                    !joins(target, level.dest, level.jobs[at].leaf))) {
    ++at;
  }
  if (at == level.jobs.size()) return;  // not named ahead: the walk copies it
  for (; level.taken < at; ++level.taken) Drop(level.jobs[level.taken]);
  ++level.taken;
  Job& job = level.jobs[at];
  HelpUntil(lock, [&job] { return job.state != Job::State::kMaking; });
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
  WakeWorkers();
}

void CopiesAhead::WakeWorkers() {
  // Only as many as may be busy: the others would find nothing to do.
  const size_t allowed = BusyWorkersAllowed();
  if (allowed >= workerCount_) {
    work_.notify_all();
    return;
  }
  for (size_t i = busy_; i < allowed; ++i) work_.notify_one();
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

size_t CopiesAhead::BusyWorkersAllowed() const {
  return waiting_ >= kWaitingFrom ? workerCount_ : std::max<size_t>(1, cores_ - 1);
}

void CopiesAhead::NoteCopyTime(double cpu, double wall) {
  // Threads that take turns on the cores wait too: only a wait longer than
  // those turns is the disk's.
  const double turns = static_cast<double>(workerCount_ + 1) / static_cast<double>(cores_);
  const bool waited = wall > cpu * (2 + turns);
  const bool allWere = waiting_ >= kWaitingFrom;
  waiting_ = waited ? std::min(waiting_ + 1, kMostWaiting) : std::max(waiting_ - 1, 0);
  if (!allWere && waiting_ >= kWaitingFrom) WakeWorkers();
}

CopiesAhead::Task CopiesAhead::NextTask(bool worker) {
  Task task;
  if (stopped_ || levels_.empty() || (worker && busy_ >= BusyWorkersAllowed())) return task;
  if (made_ >= kMostAhead) {
    heldBack_ = true;
    return task;
  }
  // What is left of the folders above the walk's too: the end of a folder
  // does not leave the workers idle until the walk gets to the next one.
  size_t holding = 0;
  for (auto at = levels_.rbegin(); at != levels_.rend(); ++at) {
    if (Search(*at, holding, task)) return task;
  }
  return Task();
}

bool CopiesAhead::Search(const std::shared_ptr<Level>& level, size_t& holding, Task& task) {
  if (Job* job = level->NextWaiting()) {
    task.kind = Task::Kind::kCopy;
    task.level = level;
    task.job = job;
    return true;
  }
  if (level->belowListed == Level::Listing::kUnder) return true;
  if (level->belowListed == Level::Listing::kNot) {
    // The copies of the folders below are made where this one's are.
    if (!level->Copies()) return false;
    task.kind = Task::Kind::kListBelow;
    task.parent = level;
    return true;
  }
  // Listed only once those before have every copy started; a few at a time.
  for (const std::shared_ptr<Level>& below : level->below) {
    if (below->Copies() && ++holding > kMostFoldersAhead) return true;
    if (below->filesListed == Level::Listing::kNot) {
      task.kind = Task::Kind::kListFiles;
      task.level = below;
      task.parent = level;
      return true;
    }
    if (Search(below, holding, task)) return true;
  }
  return false;
}

void CopiesAhead::ListBelow(std::unique_lock<std::mutex>& lock, const Task& task) {
  Level& parent = *task.parent;
  parent.belowListed = Level::Listing::kUnder;
  const int fd = parent.from.get();
  lock.unlock();
  const std::vector<std::string> names = ListNames(openat(fd, ".", kFolderFlags), true);
  lock.lock();
  parent.belowListed = Level::Listing::kDone;
  made_or_dropped_.notify_one();  // the walk may wait to take the folder over
  if (stopped_) return;
  const std::u16string entered = names::FoldKey(parent.entered);
  for (const std::string& name : names) {
    if (!parent.entered.empty() &&
        !names::NtfsLess(entered, parent.entered, names::FoldKey(name), name)) {
      continue;  // the walk has been there
    }
    auto below = std::make_shared<Level>();
    below->name = name;
    below->source = winpath::Join(parent.source, name);
    below->dest = winpath::Join(parent.dest, name);
    parent.below.push_back(std::move(below));
  }
  // A worker that found nothing to do while this was listed sleeps on.
  if (!parent.below.empty()) WakeWorkers();
}

void CopiesAhead::ListFiles(std::unique_lock<std::mutex>& lock, const Task& task) {
  Level& level = *task.level;
  level.filesListed = Level::Listing::kUnder;
  const int parentFrom = task.parent->from.get(), parentInto = task.parent->into.get();
  lock.unlock();
  UniqueFd from(openat(parentFrom, level.name.c_str(), kFolderFlags | O_NOFOLLOW)), into;
  struct stat read = {};
  std::vector<std::string> names;
  if (from && fstat(from.get(), &read) == 0) {
    names = ListNames(fcntl(from.get(), F_DUPFD_CLOEXEC, 0), false);
    if (!names.empty()) into.Reset(fcntl(parentInto, F_DUPFD_CLOEXEC, 0));
  }
  lock.lock();
  level.filesListed = Level::Listing::kDone;
  made_or_dropped_.notify_one();  // the walk may wait to take the folder over
  // A folder with nothing to copy holds no descriptors.
  if (stopped_ || names.empty() || !into) return;
  level.readFrom = read;
  // Its copies are made where those of the folder above are made.
  level.folder = task.parent->folder;
  level.folders = task.parent->folders;
  level.from = std::move(from);
  level.into = std::move(into);
  level.folders.from = level.from.get();
  level.folders.into = level.into.get();
  for (std::string& name : names) level.jobs.emplace_back(std::move(name));
  WakeWorkers();
}

void CopiesAhead::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (unsigned copies = 0;;) {
    Task task;
    work_.wait(lock, [&] { return ending_ || (task = NextTask(true)).kind != Task::Kind::kNone; });
    if (ending_) return;
    const bool timed = task.kind == Task::Kind::kCopy && ++copies % kTimedEvery == 0;
    const double cpu = timed ? ThreadSeconds(CLOCK_THREAD_CPUTIME_ID) : 0;
    const double wall = timed ? ThreadSeconds(CLOCK_MONOTONIC) : 0;
    ++busy_;
    Run(lock, task);
    --busy_;
    if (timed) {
      NoteCopyTime(ThreadSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu,
                   ThreadSeconds(CLOCK_MONOTONIC) - wall);
    }
  }
}

void CopiesAhead::Run(std::unique_lock<std::mutex>& lock, const Task& task) {
  if (task.kind == Task::Kind::kListBelow) {
    ListBelow(lock, task);
    return;
  }
  if (task.kind == Task::Kind::kListFiles) {
    ListFiles(lock, task);
    return;
  }
  Job* job = task.job;
  Level& level = *task.level;
  job->state = Job::State::kMaking;
  ++made_;
  ++level.making;
  MadeCopy made;
  lock.unlock();
  const int error = copy_(level.folders, job->leaf, made);
  Relock(lock);
  --level.making;
  const bool dropped = job->dropped;
  if (dropped || error != 0) --made_;
  if (!dropped) {
    job->state = error != 0 ? Job::State::kFailed : Job::State::kMade;
    job->made = std::move(made);
    job->error = error;
  }
  made_or_dropped_.notify_one();  // only the walk's thread waits there
}

void CopiesAhead::HelpUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done) {
  // The walk's thread, waiting for a worker, makes the next copies itself
  // meanwhile: on a fast disk a sleep and a wake-up for each file cost more
  // than a small file's copy.
  while (!done()) {
    const Task task = NextTask(false);
    if (task.kind == Task::Kind::kNone) {
      made_or_dropped_.wait(lock, done);
      return;
    }
    Run(lock, task);
  }
}

}  // namespace vostrel::posix
