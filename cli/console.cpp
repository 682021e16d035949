#include "cli/console.h"

#include "cli/messages.h"
#include "cli/outputs.h"

namespace vostrel::cli {

void Console::ClearProgress() {
  if (progress_) progress_->Clear();
}

void Console::StartProgress(uint64_t totalFiles, uint64_t totalBytes) {
  progress_.emplace(err_, std::string(), totalFiles, totalBytes);
}

void Console::StageProgress(const char* what, uint64_t done, uint64_t total) {
  if (!progress_ || progress_->what() != what) {
    EndProgress();
    progress_.emplace(err_, what, 0, total);
  }
  progress_->Reached(done);
}

void Console::BytesMoved(uint64_t bytes) {
  if (progress_) progress_->Moved(bytes);
}

void Console::EndProgress() {
  ClearProgress();
  progress_.reset();
}

void Console::CopyDone(uint64_t bytes) {
  if (progress_) progress_->FileDone(bytes);
}

void Console::Out(const std::string& line) {
  if (quiet_) return;
  ClearProgress();
  out_ << line << '\n' << std::flush;
}

void Console::Kept(const std::string& line) {
  if (quiet_) {
    Err(line);
  } else {
    Out(line);
  }
}

void Console::Err(const std::string& line) {
  ClearProgress();
  err_ << kPrefix << line << '\n' << std::flush;
}

void Console::Message(const std::string& text) {
  ClearProgress();
  err_ << text << '\n' << std::flush;
}

void Console::Warn(const std::string& text) {
  warnings_.push_back(text);
  Err("warning: " + text);
}

void Console::Failed(const std::string& text) {
  failures_.push_back(text);
  Err(text);
}

int Console::ExitStatus(bool kitWhole) const {
  return kitWhole && failures_.empty() ? kExitComplete : kExitIncomplete;
}

void Console::Tell(const OutputMessages& messages) {
  for (const std::string& note : messages.notes) Err(note);
  for (const std::string& warning : messages.warnings) Warn(warning);
  for (const std::string& failure : messages.failures) Failed(failure);
}

}  // namespace vostrel::cli
