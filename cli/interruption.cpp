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

}  // namespace vostrel::cli
