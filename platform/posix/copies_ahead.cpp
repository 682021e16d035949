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

CopiesAheadFileSystem::CopiesAheadFileSystem(std::unique_ptr<MediumFileSystem> inner)
    : inner_(std::move(inner)), disk_(inner_->Disk()) {}

void CopiesAheadFileSystem::CopyAheadWith(unsigned jobs) {
  ahead_.reset();
  if (jobs <= 1 || !disk_.Options().anonymousTemporary) return;
  ahead_ = std::make_unique<CopiesAhead>(
      jobs - 1, [options = disk_.Options()](const AheadFolders& folders, const std::string& leaf,
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

// A template, not a std::function: it is called for every copy, and a
// std::function of the copy's arguments would allocate each time.
template <typename Write>
bool CopiesAheadFileSystem::WithRoom(const Write& write) {
  if (write()) return true;
  if (LastError() != win32_error::kDiskFull || !StopAhead()) return false;
  return write();
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
