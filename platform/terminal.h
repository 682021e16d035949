// The terminal a command's stderr goes to, as the system tells of it.
// platform/posix and platform/win32 each implement it.
#pragma once

#include <cstddef>

namespace vostrel::platform {

// Whether stderr is a terminal (a progress line would garble a log file).
bool StderrIsTerminal();

// The width of the terminal on stderr; 0 where the system does not say.
std::size_t StderrColumns();

// Makes std::cout and std::cerr show UTF-8 text as its characters where
// they are a console (Windows, whose console takes another encoding);
// elsewhere, and on Linux, the bytes go out as they are.
void WriteUtf8ToConsole();

}  // namespace vostrel::platform
