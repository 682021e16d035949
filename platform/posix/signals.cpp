// The signals of platform/signals.h on Linux.
#include "platform/signals.h"

#include <signal.h>

#include <atomic>
#include <csignal>

#include "platform/posix/end_signal.h"

namespace vostrel::platform {

namespace {

// Written by the handler, read by the layer's waits: lock-free, so safe in
// a handler.
std::atomic<bool> noted{false};
std::atomic<SignalNote> noteOfCaller{nullptr};
static_assert(std::atomic<bool>::is_always_lock_free &&
                  std::atomic<SignalNote>::is_always_lock_free,
              "the handler needs lock-free flags");

extern "C" void NoteEnd(int signal) {
  noted.store(true);
  if (const SignalNote note = noteOfCaller.load()) note(signal);
}

void Note(int signal) {
  // SA_RESTART: a call the signal lands in goes on, so the file being
  // copied is finished rather than failed.
  struct sigaction action {};
  action.sa_handler = NoteEnd;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
}

}  // namespace

void NoteEndSignals(SignalNote note) {
  noteOfCaller.store(note);
  Note(SIGINT);
  Note(SIGTERM);
  // A reader that went away (a closed pipe on stdout) fails the writes to
  // it instead of killing the run half-way through the kit.
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace vostrel::platform

namespace vostrel::posix {

bool EndSignalNoted() { return platform::noted.load(); }

}  // namespace vostrel::posix
