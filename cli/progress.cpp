#include "cli/progress.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/terminal.h"

namespace vostrel::cli {

namespace {

// "done/total unit", in the unit that suits the total.
std::string Amounts(uint64_t done, uint64_t total) {
  static const char* const kUnits[] = {"bytes", "KB", "MB", "GB"};
  int unit = 0;
  double scale = 1.0;
  while (unit < 3 && static_cast<double>(total) >= 10.0 * 1024.0 * scale) {
    scale *= 1024.0;
    ++unit;
  }
  if (unit == 0) return std::to_string(done) + "/" + std::to_string(total) + " bytes";
  char text[64];
  std::snprintf(text, sizeof text, "%.1f/%.1f %s", static_cast<double>(done) / scale,
                static_cast<double>(total) / scale, kUnits[unit]);
  return text;
}

}  // namespace

std::size_t TerminalColumns() {
  std::size_t columns = platform::StderrColumns();
  if (columns == 0) {
    const char* variable = std::getenv("COLUMNS");
    columns = variable != nullptr ? std::strtoul(variable, nullptr, 10) : 0;
  }
  return columns != 0 ? columns : 80;
}

void ProgressLine::Moved(uint64_t bytes) {
  current_ += bytes;
  DrawWhenDue();
}

void ProgressLine::FileDone(uint64_t bytes) {
  ++files_;
  bytes_ += bytes;
  current_ = 0;
  DrawWhenDue();
}

void ProgressLine::Reached(uint64_t bytes) {
  bytes_ = bytes;
  DrawWhenDue();
}

void ProgressLine::DrawWhenDue() {
  auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  Draw();
}

void ProgressLine::Draw() {
  const std::string amounts = Amounts(bytes_ + current_, totalBytes_);
  std::string line = what_.empty() ? "[" + std::to_string(files_) + "/" +
                                         std::to_string(totalFiles_) + " files, " + amounts + "]"
                                   : "[" + what_ + ": " + amounts + "]";
  // One column short of the width: a line that fills it wraps on some
  // terminals, and '\r' then returns to the wrapped part only.
  const std::size_t room = TerminalColumns() - 1;
  if (line.size() > room) line.resize(room);
  const std::size_t cover = std::min(width_, room);
  std::string padding = line.size() < cover ? std::string(cover - line.size(), ' ') : "";
  out_ << '\r' << line << padding << std::flush;
  width_ = line.size();
}

void ProgressLine::Clear() {
  if (width_ == 0) return;
  out_ << '\r' << std::string(std::min(width_, TerminalColumns() - 1), ' ') << '\r' << std::flush;
  width_ = 0;
}

}  // namespace vostrel::cli
