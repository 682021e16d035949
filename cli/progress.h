// The live progress line on a terminal: files and bytes done of the totals
// a planning pass found, redrawn in place at most ten times a second.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>

namespace vostrel::cli {

// Whether stderr is a terminal (a progress line would garble a log file).
bool StderrIsTerminal();

class ProgressLine {
 public:
  ProgressLine(std::ostream& out, uint64_t totalFiles, uint64_t totalBytes)
      : out_(out), totalFiles_(totalFiles), totalBytes_(totalBytes) {}

  // Counts one copy attempt and the bytes it wrote; redraws when due.
  void FileDone(uint64_t bytes);
  // Takes the line away, before other output or at the end.
  void Clear();

 private:
  void Draw();

  std::ostream& out_;
  uint64_t totalFiles_;
  uint64_t totalBytes_;
  uint64_t files_ = 0;
  uint64_t bytes_ = 0;
  std::size_t width_ = 0;  // characters on screen, 0 when cleared
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace vostrel::cli
