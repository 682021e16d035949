// The signals that ask a command to end. platform/posix and platform/win32
// each implement it.
#pragma once

namespace vostrel::platform {

// A handler that only notes the signal (it runs in signal context).
using SignalNote = void (*)(int signal);

// From now on SIGINT and SIGTERM go to `note` instead of ending the process,
// and a call the signal lands in goes on where the system allows it; on
// Linux a closed pipe fails a write instead of ending the process.
void NoteEndSignals(SignalNote note);

}  // namespace vostrel::platform
