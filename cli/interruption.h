// SIGINT and SIGTERM during a command. The handler only notes the signal:
// the run ends after the file being copied (the run's recording file system
// then refuses any further work), its temporaries are removed on the way
// out as on any other, and the process then ends by that same signal.
#pragma once

#include <string>

namespace vostrel::cli {

// From now on SIGINT and SIGTERM are noted instead of ending the process
// (and on Linux a closed pipe fails a write instead of ending it).
void CatchInterruptions();

// The signal that asked the command to end, or 0.
int Interruption();

// Says `message` on stderr after the tool's prefix, then ends the process
// by `signal` as if it had never been caught (a shell sees 128 + signal).
[[noreturn]] void EndByInterruption(int signal, const std::string& message);

}  // namespace vostrel::cli
