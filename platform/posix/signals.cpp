// The signals of platform/signals.h on Linux.
#include "platform/signals.h"

#include <signal.h>

#include <csignal>

namespace vostrel::platform {

namespace {

void Note(int signal, SignalNote note) {
  // SA_RESTART: a call the signal lands in goes on, so the file being
  // copied is finished rather than failed.
  struct sigaction action {};
  action.sa_handler = note;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
}

}  // namespace

void NoteEndSignals(SignalNote note) {
  Note(SIGINT, note);
  Note(SIGTERM, note);
  // A reader that went away (a closed pipe on stdout) fails the writes to
  // it instead of killing the run half-way through the kit.
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace vostrel::platform
