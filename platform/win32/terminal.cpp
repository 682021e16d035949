// The terminal of platform/terminal.h on Win32: the console.
#include "platform/terminal.h"

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>

namespace vostrel::platform {

namespace {

// The length of the part of `text` that ends with a whole UTF-8 character:
// a character split between two writes waits for its other bytes.
std::size_t WholeCharacters(const std::string& text) {
  std::size_t start = text.size();
  for (int back = 0; back < 4 && start > 0; ++back) {
    const unsigned char byte = static_cast<unsigned char>(text[--start]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return start + length <= text.size() ? text.size() : start;
  }
  return text.size();
}

// A console stream written through WriteConsoleW, line by line and on every
// flush, so the console shows each character whatever its code page.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_.push_back(traits_type::to_char_type(c));
    if (c == '\n') Show();
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize size) override {
    pending_.append(text, static_cast<std::size_t>(size));
    if (pending_.find('\n') != std::string::npos) Show();
    return size;
  }
  int sync() override {
    Show();
    return 0;
  }

 private:
  void Show() {
    const std::size_t whole = WholeCharacters(pending_);
    if (whole == 0) return;
    const int size = static_cast<int>(whole);
    const int length = MultiByteToWideChar(CP_UTF8, 0, pending_.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, pending_.data(), size, &wide[0], length);
    DWORD written = 0;
    if (!wide.empty()) {
      WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    }
    pending_.erase(0, whole);
  }

  HANDLE console_;
  std::string pending_;
};

void ToConsole(std::ostream& stream, DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return;
  stream.flush();
  // Never freed: the streams flush into it while the program ends.
  stream.rdbuf(new ConsoleBuffer(handle));
}

}  // namespace

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

std::size_t StderrColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

void WriteUtf8ToConsole() {
  ToConsole(std::cout, STD_OUTPUT_HANDLE);
  ToConsole(std::cerr, STD_ERROR_HANDLE);
}

}  // namespace vostrel::platform
