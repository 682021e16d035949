#include "cli/interruption.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "cli/messages.h"
#include "platform/signals.h"

namespace vostrel::cli {

namespace {

// Written by the handler, read by the run: lock-free, so safe in a handler.
std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

extern "C" void NoteSignal(int signal) { caught.store(signal); }

}  // namespace

void CatchInterruptions() { platform::NoteEndSignals(NoteSignal); }

int Interruption() { return caught.load(); }

void EndByInterruption(int signal, const std::string& message) {
  std::cerr << kPrefix << message << '\n' << std::flush;
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);  // where the default action does not end the process
}

}  // namespace vostrel::cli
