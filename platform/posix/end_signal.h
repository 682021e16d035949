// Whether SIGINT or SIGTERM has come since platform::NoteEndSignals: what a
// wait of the POSIX layer (a FIFO with no reader, a full pipe) checks, so
// that the signal ends the run wherever it waits.
#pragma once

#ifndef VOSTREL_POSIX_LAYER
#error "platform/posix/end_signal.h is private to the POSIX layer: include platform/*.h"
#endif

namespace vostrel::posix {

bool EndSignalNoted();

}  // namespace vostrel::posix
