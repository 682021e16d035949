#include "ui/responsive_file_system.h"

#include <windows.h>

#include <exception>
#include <functional>

namespace {

// How often a waiting thread looks at its queue even when nothing woke it:
// the system takes a thread that has not looked for five seconds for hung.
constexpr DWORD kLookEveryMs = 250;

// Waits until `done` is set, meanwhile delivering the messages sent to this
// thread and painting its windows. Nothing else is taken from the queue.
void WaitAnswering(HANDLE done) {
  for (;;) {
    const DWORD woke =
        ::MsgWaitForMultipleObjects(1, &done, FALSE, kLookEveryMs, QS_SENDMESSAGE | QS_PAINT);
    if (woke == WAIT_OBJECT_0) return;
    if (woke == WAIT_FAILED) {
      ::WaitForSingleObject(done, INFINITE);
      return;
    }
    MSG message;
    // Peeking delivers the sent messages; with this filter it removes nothing.
    ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    // Painting validates what it paints; the bound only guards against a
    // window that never does.
    for (int painted = 0;
         painted < 32 && ::PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE);
         ++painted) {
      ::DispatchMessageA(&message);
    }
  }
}

}  // namespace

// One thread for the whole run that performs one call at a time.
class ResponsiveFileSystem::Worker {
 public:
  Worker()
      : start_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)),
        done_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
    if (start_ != nullptr && done_ != nullptr) {
      thread_ = ::CreateThread(nullptr, 0, &Worker::Main, this, 0, nullptr);
    }
  }

  ~Worker() {
    if (thread_ != nullptr) {
      job_ = nullptr;  // tells the thread to end
      ::SetEvent(start_);
      ::WaitForSingleObject(thread_, INFINITE);
      ::CloseHandle(thread_);
    }
    if (start_ != nullptr) ::CloseHandle(start_);
    if (done_ != nullptr) ::CloseHandle(done_);
  }

  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Without a worker (no thread could be made) the call runs here.
  void Run(const std::function<void()>& job) {
    if (thread_ == nullptr) {
      job();
      return;
    }
    job_ = &job;
    error_ = nullptr;
    ::SetEvent(start_);
    WaitAnswering(done_);
    if (error_) std::rethrow_exception(error_);
  }

 private:
  static DWORD WINAPI Main(LPVOID self) {
    static_cast<Worker*>(self)->Serve();
    return 0;
  }

  void Serve() {
    for (;;) {
      ::WaitForSingleObject(start_, INFINITE);
      if (job_ == nullptr) return;
      try {
        (*job_)();
      } catch (...) {
        error_ = std::current_exception();
      }
      ::SetEvent(done_);
    }
  }

  HANDLE start_;
  HANDLE done_;
  HANDLE thread_ = nullptr;
  const std::function<void()>* job_ = nullptr;
  std::exception_ptr error_;
};

template <typename Call>
auto ResponsiveFileSystem::OnWorker(Call call) -> decltype(call()) {
  decltype(call()) result{};
  worker_->Run([&] { result = call(); });
  return result;
}

// Each next entry is read on the worker too: on a slow medium that read may
// wait for the drive.
class ResponsiveFileSystem::Enumeration final : public vostrel::FolderEnumeration {
 public:
  Enumeration(ResponsiveFileSystem& owner, std::unique_ptr<vostrel::FolderEnumeration> inner)
      : owner_(owner), inner_(std::move(inner)) {}

  bool Next(vostrel::FindData& entry) override {
    return owner_.OnWorker([&] { return inner_->Next(entry); });
  }

 private:
  ResponsiveFileSystem& owner_;
  std::unique_ptr<vostrel::FolderEnumeration> inner_;
};

ResponsiveFileSystem::ResponsiveFileSystem(vostrel::FileSystem& inner)
    : ForwardingFileSystem(inner), worker_(std::make_unique<Worker>()) {}

ResponsiveFileSystem::~ResponsiveFileSystem() = default;

bool ResponsiveFileSystem::CreateFolder(const std::string& path) {
  return OnWorker([&] { return inner_.CreateFolder(path); });
}

bool ResponsiveFileSystem::CopyOneFile(const std::string& existing, const std::string& target,
                                       bool failIfExists) {
  return OnWorker([&] { return inner_.CopyOneFile(existing, target, failIfExists); });
}

std::unique_ptr<vostrel::FolderEnumeration> ResponsiveFileSystem::FindFirst(
    const std::string& pattern, vostrel::FindData& first) {
  std::unique_ptr<vostrel::FolderEnumeration> inner =
      OnWorker([&] { return inner_.FindFirst(pattern, first); });
  if (!inner) return nullptr;
  return std::make_unique<Enumeration>(*this, std::move(inner));
}

bool ResponsiveFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  return OnWorker([&] { return inner_.SetAttributes(path, attributes); });
}

bool ResponsiveFileSystem::WriteProfileEntry(const std::string& section, const std::string& key,
                                             const std::string& value, const std::string& path) {
  return OnWorker([&] { return inner_.WriteProfileEntry(section, key, value, path); });
}

bool ResponsiveFileSystem::RemoveFile(const std::string& path) {
  return OnWorker([&] { return inner_.RemoveFile(path); });
}

void ResponsiveFileSystem::BeginCopiesAhead(const std::string& source, const std::string& dest,
                                            const std::vector<std::string>& names) {
  worker_->Run([&] { inner_.BeginCopiesAhead(source, dest, names); });
}

void ResponsiveFileSystem::EndCopiesAhead() {
  worker_->Run([&] { inner_.EndCopiesAhead(); });
}

std::string ResponsiveFileSystem::FullPath(const std::string& path) {
  return OnWorker([&] { return inner_.FullPath(path); });
}

bool ResponsiveFileSystem::IdentifyFolder(const std::string& path, vostrel::FolderId& id) {
  return OnWorker([&] { return inner_.IdentifyFolder(path, id); });
}

bool ResponsiveFileSystem::GetInfo(const std::string& path, vostrel::FileInfo& info) {
  return OnWorker([&] { return inner_.GetInfo(path, info); });
}
