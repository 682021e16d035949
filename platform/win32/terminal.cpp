// The terminal of platform/terminal.h on Win32: the console.
#include "platform/terminal.h"

#include <io.h>
#include <windows.h>

#include <cstdio>

namespace vostrel::platform {

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

std::size_t StderrColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

}  // namespace vostrel::platform
