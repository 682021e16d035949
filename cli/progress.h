// The live progress line on a terminal: files and bytes done of the totals
// a planning pass found (or the bytes of an image written), redrawn in
// place at most ten times a second, never wider than the terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>

namespace vostrel::cli {

// The width of the terminal on stderr (COLUMNS where it cannot be asked;
// 80 where neither says).
std::size_t TerminalColumns();

class ProgressLine {
 public:
  // `what` names a stage that is not the run's copies ("image"): its line
  // shows bytes only.
  ProgressLine(std::ostream& out, std::string what, uint64_t totalFiles, uint64_t totalBytes)
      : out_(out), what_(std::move(what)), totalFiles_(totalFiles), totalBytes_(totalBytes) {}

  const std::string& what() const { return what_; }
  // Bytes of the file being copied, as they are written.
  void Moved(uint64_t bytes);
  // Counts one copy attempt and the bytes it wrote in all (what Moved()
  // said of it is replaced).
  void FileDone(uint64_t bytes);
  // The bytes done so far of a stage.
  void Reached(uint64_t bytes);
  // Takes the line away, before other output or at the end.
  void Clear();

 private:
  void DrawWhenDue();
  void Draw();

  std::ostream& out_;
  const std::string what_;
  uint64_t totalFiles_;
  uint64_t totalBytes_;
  uint64_t files_ = 0;
  uint64_t bytes_ = 0;     // of the files done
  uint64_t current_ = 0;   // of the file being copied
  std::size_t width_ = 0;  // characters on screen, 0 when cleared
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace vostrel::cli
