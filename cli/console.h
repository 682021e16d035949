// Where vostrel-kit's words go: stdout for the status lines (and a dry run's
// changes, a check's differences), stderr for everything else. The live
// progress line, when there is one, is taken away before any other line.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/progress.h"

namespace vostrel::cli {

struct OutputMessages;

class Console {
 public:
  Console(std::ostream& out, std::ostream& err, bool quiet) : out_(out), err_(err), quiet_(quiet) {}

  // Shows the live progress line on stderr, toward these totals, until
  // EndProgress().
  void StartProgress(uint64_t totalFiles, uint64_t totalBytes);
  void EndProgress();
  // Bytes of the file being copied, and one copy attempt done, on the
  // progress line if there is one.
  void BytesMoved(uint64_t bytes);
  void CopyDone(uint64_t bytes);
  // The progress line of a stage after the copies ("image"): `done` of
  // `total` bytes, shown from its first call until EndProgress().
  void StageProgress(const char* what, uint64_t done, uint64_t total);

  // A line on stdout; nothing with --quiet.
  void Out(const std::string& line);
  // A line that must not be lost (a check's difference): on stdout, or on
  // stderr after the tool's prefix when stdout is silenced or taken by an
  // output.
  void Kept(const std::string& line);
  // Stdout carries an output from here on (an output named by another name
  // of it): the lines Out() would print are left out, as with --quiet.
  void StdoutTaken() { quiet_ = true; }
  // A line on stderr after the tool's prefix.
  void Err(const std::string& line);
  // A validation message on stderr, standing alone as the window shows it.
  void Message(const std::string& text);
  // Kept for the report and said on stderr: a warning, or a failure that
  // leaves the kit or an output incomplete.
  void Warn(const std::string& text);
  void Failed(const std::string& text);
  // What writing the manifest and the image said: notes, warnings, failures.
  void Tell(const OutputMessages& messages);

  const std::vector<std::string>& warnings() const { return warnings_; }
  // The one list of failures of a run or a check: the kit's, the outputs'.
  const std::vector<std::string>& failures() const { return failures_; }

  // The exit status of a run or a check that went its whole way: complete
  // only when the kit is whole and no failure was said.
  int ExitStatus(bool kitWhole) const;

 private:
  void ClearProgress();

  std::ostream& out_;
  std::ostream& err_;
  bool quiet_;
  std::optional<ProgressLine> progress_;
  std::vector<std::string> warnings_;
  std::vector<std::string> failures_;
};

}  // namespace vostrel::cli
