// The signals of platform/signals.h on Win32, through the C runtime.
#include "platform/signals.h"

#include <csignal>

namespace vostrel::platform {

void NoteEndSignals(SignalNote note) {
  std::signal(SIGINT, note);
  std::signal(SIGTERM, note);
}

}  // namespace vostrel::platform
