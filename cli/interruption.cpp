#include "cli/interruption.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>

#ifndef _WIN32
#include <signal.h>
#endif

#include "cli/messages.h"

namespace vostrel::cli {

namespace {

// Written by the handler, read by the run: lock-free, so safe in a handler.
std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

extern "C" void NoteSignal(int signal) { caught.store(signal); }

void Catch(int signal) {
#ifdef _WIN32
  std::signal(signal, NoteSignal);
#else
  // SA_RESTART: a call the signal lands in goes on, so the file being
  // copied is finished rather than failed.
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
#endif
}

}  // namespace

void CatchInterruptions() {
  Catch(SIGINT);
  Catch(SIGTERM);
#ifndef _WIN32
  // A reader that went away (a closed pipe on stdout) fails the writes to
  // it instead of killing the run half-way through the kit.
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

int Interruption() { return caught.load(); }

void EndByInterruption(int signal, const std::string& message) {
  std::cerr << kPrefix << message << '\n' << std::flush;
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);  // where the default action does not end the process
}

class InterruptibleFileSystem::Enumeration : public FolderEnumeration {
 public:
  Enumeration(InterruptibleFileSystem& owner, std::unique_ptr<FolderEnumeration> inner)
      : owner_(owner), inner_(std::move(inner)) {}
  bool Next(FindData& entry) override { return !owner_.Stopped() && inner_->Next(entry); }

 private:
  InterruptibleFileSystem& owner_;
  std::unique_ptr<FolderEnumeration> inner_;
};

bool InterruptibleFileSystem::Stopped() {
  aborted_ = Interruption() != 0;
  return aborted_;
}

unsigned long InterruptibleFileSystem::LastError() const {
  return aborted_ ? win32_error::kOperationAborted : inner_.LastError();
}

bool InterruptibleFileSystem::CreateFolder(const std::string& path) {
  return !Stopped() && inner_.CreateFolder(path);
}

bool InterruptibleFileSystem::CopyOneFile(const std::string& existing, const std::string& target,
                                          bool failIfExists) {
  return !Stopped() && inner_.CopyOneFile(existing, target, failIfExists);
}

std::unique_ptr<FolderEnumeration> InterruptibleFileSystem::FindFirst(const std::string& pattern,
                                                                      FindData& first) {
  if (Stopped()) return nullptr;
  std::unique_ptr<FolderEnumeration> inner = inner_.FindFirst(pattern, first);
  if (!inner) return nullptr;
  return std::make_unique<Enumeration>(*this, std::move(inner));
}

bool InterruptibleFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  return !Stopped() && inner_.SetAttributes(path, attributes);
}

bool InterruptibleFileSystem::WriteProfileEntry(const std::string& section, const std::string& key,
                                                const std::string& value, const std::string& path) {
  return !Stopped() && inner_.WriteProfileEntry(section, key, value, path);
}

bool InterruptibleFileSystem::RemoveFile(const std::string& path) {
  return !Stopped() && inner_.RemoveFile(path);
}

}  // namespace vostrel::cli
