#include "cli/progress.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

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

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

void ProgressLine::FileDone(uint64_t bytes) {
  ++files_;
  bytes_ += bytes;
  auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  Draw();
}

void ProgressLine::Draw() {
  std::string line = "[" + std::to_string(files_) + "/" + std::to_string(totalFiles_) + " files, " +
                     Amounts(bytes_, totalBytes_) + "]";
  std::string padding = line.size() < width_ ? std::string(width_ - line.size(), ' ') : "";
  out_ << '\r' << line << padding << std::flush;
  width_ = line.size();
}

void ProgressLine::Clear() {
  if (width_ == 0) return;
  out_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
  width_ = 0;
}

}  // namespace vostrel::cli
