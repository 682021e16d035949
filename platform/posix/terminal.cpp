// The terminal of platform/terminal.h on Linux.
#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace vostrel::platform {

bool StderrIsTerminal() { return isatty(fileno(stderr)) != 0; }

std::size_t StderrColumns() {
  struct winsize size {};
  return ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void WriteUtf8ToConsole() {}

}  // namespace vostrel::platform
