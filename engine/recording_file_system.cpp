#include "engine/recording_file_system.h"

#include "engine/windows_path.h"

namespace vostrel {

const char* OperationName(OperationKind kind) {
  switch (kind) {
    case OperationKind::kCreateFolder:
      return "CreateDirectoryA";
    case OperationKind::kCopyFile:
      return "CopyFileA";
    case OperationKind::kFindFirst:
      return "FindFirstFileA";
    case OperationKind::kFindEnd:
      return "FindNextFileA";
    case OperationKind::kSetAttributes:
      return "SetFileAttributesA";
    case OperationKind::kWriteProfile:
      return "WritePrivateProfileStringA";
    case OperationKind::kRemoveFile:
      return "remove";
  }
  return "?";
}

// Passes entries through and records how the enumeration ended: at its end
// (18), with another error, or closed early by a walk that stopped.
class RecordingFileSystem::Enumeration : public FolderEnumeration {
 public:
  Enumeration(RecordingFileSystem& owner, std::unique_ptr<FolderEnumeration> inner,
              std::string pattern)
      : owner_(owner), inner_(std::move(inner)), pattern_(std::move(pattern)) {}

  ~Enumeration() override {
    Operation operation{};
    operation.kind = OperationKind::kFindEnd;
    operation.path = pattern_;
    operation.code = ended_ ? endCode_ : win32_error::kSuccess;
    owner_.Record(std::move(operation), ended_ && endCode_ == win32_error::kNoMoreFiles);
  }

  bool Next(FindData& entry) override {
    if (owner_.NextAllowed(pattern_) && inner_->Next(entry)) return true;
    ended_ = true;
    endCode_ = owner_.LastError();
    return false;
  }

  std::vector<FindData> Ahead() const override { return inner_->Ahead(); }

 private:
  RecordingFileSystem& owner_;
  std::unique_ptr<FolderEnumeration> inner_;
  std::string pattern_;
  bool ended_ = false;
  unsigned long endCode_ = 0;
};

void RecordingFileSystem::BeginCopiesAhead(const std::string& source, const std::string& dest,
                                           const std::vector<std::string>& names) {
  if (guard_ && !names.empty()) {
    Operation first{};
    first.kind = OperationKind::kCopyFile;
    first.path = winpath::Join(source, names.front());
    first.target = winpath::Join(dest, names.front());
    if (guard_(first) != 0) return inner_.BeginCopiesAhead(source, dest, {});
  }
  inner_.BeginCopiesAhead(source, dest, names);
}

bool RecordingFileSystem::Allowed(const Operation& operation) {
  refused_ = guard_ ? guard_(operation) : 0;
  return refused_ == 0;
}

bool RecordingFileSystem::NextAllowed(const std::string& pattern) {
  if (!guard_) {  // the common case costs no operation per entry
    refused_ = 0;
    return true;
  }
  // One operation reused for every entry: its pattern is copied without an
  // allocation of its own.
  nextEntry_.kind = OperationKind::kFindEnd;
  nextEntry_.path = pattern;
  return Allowed(nextEntry_);
}

bool RecordingFileSystem::Record(Operation operation, bool ok) {
  operation.ok = ok;
  if (!ok && operation.kind != OperationKind::kFindEnd) operation.code = LastError();
  if (!keepAll_) operations_.clear();
  operations_.push_back(std::move(operation));
  if (observer_) observer_(operations_.back());
  return ok;
}

Operation& RecordingFileSystem::StartCopy(const std::string& existing, const std::string& target) {
  if (!keepAll_) operations_.resize(1);
  Operation& copy = keepAll_ ? copy_ : operations_.back();
  copy.kind = OperationKind::kCopyFile;
  copy.path = existing;
  copy.target = target;
  copy.section.clear();
  copy.key.clear();
  copy.value.clear();
  copy.attributes = 0;
  copy.ok = false;
  copy.code = 0;
  copy.bytes = 0;
  return copy;
}

bool RecordingFileSystem::Recorded(Operation& copy, bool ok) {
  copy.ok = ok;
  if (!ok) copy.code = LastError();
  if (keepAll_) operations_.push_back(copy);
  if (observer_) observer_(operations_.back());
  return ok;
}

bool RecordingFileSystem::CreateFolder(const std::string& path) {
  Operation operation{};
  operation.kind = OperationKind::kCreateFolder;
  operation.path = path;
  const bool ok = Allowed(operation) && inner_.CreateFolder(path);
  return Record(std::move(operation), ok);
}

bool RecordingFileSystem::CopyOneFile(const std::string& existing, const std::string& target,
                                      bool failIfExists) {
  Operation& operation = StartCopy(existing, target);
  const bool ok = Allowed(operation) && inner_.CopyOneFile(existing, target, failIfExists);
  if (ok) operation.bytes = inner_.LastCopySize();
  return Recorded(operation, ok);
}

std::unique_ptr<FolderEnumeration> RecordingFileSystem::FindFirst(const std::string& pattern,
                                                                  FindData& first) {
  Operation operation{};
  operation.kind = OperationKind::kFindFirst;
  operation.path = pattern;
  std::unique_ptr<FolderEnumeration> inner =
      Allowed(operation) ? inner_.FindFirst(pattern, first) : nullptr;
  bool ok = inner != nullptr;
  Record(std::move(operation), ok);
  if (!ok) return nullptr;
  return std::make_unique<Enumeration>(*this, std::move(inner), pattern);
}

bool RecordingFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  Operation operation{};
  operation.kind = OperationKind::kSetAttributes;
  operation.path = path;
  operation.attributes = attributes;
  const bool ok = Allowed(operation) && inner_.SetAttributes(path, attributes);
  return Record(std::move(operation), ok);
}

bool RecordingFileSystem::WriteProfileEntry(const std::string& section, const std::string& key,
                                            const std::string& value, const std::string& path) {
  Operation operation{};
  operation.kind = OperationKind::kWriteProfile;
  operation.path = path;
  operation.section = section;
  operation.key = key;
  operation.value = value;
  const bool ok = Allowed(operation) && inner_.WriteProfileEntry(section, key, value, path);
  return Record(std::move(operation), ok);
}

bool RecordingFileSystem::RemoveFile(const std::string& path) {
  Operation operation{};
  operation.kind = OperationKind::kRemoveFile;
  operation.path = path;
  const bool ok = Allowed(operation) && inner_.RemoveFile(path);
  return Record(std::move(operation), ok);
}

}  // namespace vostrel
