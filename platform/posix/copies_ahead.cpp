#include "platform/posix/copies_ahead.h"

#include <sys/stat.h>

#include <deque>

#include "engine/windows_path.h"

namespace vostrel::posix {

namespace {

// Copies made and not yet taken, at most: each holds a descriptor and its
// room on the disk, and the walk takes them in order, so a longer lead buys
// nothing.
constexpr size_t kMostAhead = 64;

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
  work_.notify_one();             // room for one more copy ahead
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
    job.made.out.Reset();
    --made_;
  }
  if (job.state == Job::State::kMaking) {
    job.dropped = true;
  } else {
    job.state = Job::State::kGone;
  }
}

CopiesAhead::Job* CopiesAhead::NextJob(std::shared_ptr<Level>& level) {
  if (stopped_ || levels_.empty() || made_ >= kMostAhead) return nullptr;
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

}  // namespace vostrel::posix
