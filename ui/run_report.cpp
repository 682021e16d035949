#include "ui/run_report.h"

#include <windows.h>

namespace {

using vostrel::OperationKind;
using vostrel::ProblemKind;
using vostrel::RunProblem;

constexpr std::size_t kLinesShown = 10;

// The system's own words for a Win32 error code, as one sentence.
std::string SystemText(unsigned long code) {
  // A name listed with '?' where this code page has no character: the
  // system's words for it speak of Unicode, not of the name.
  if (code == ERROR_NO_UNICODE_TRANSLATION) {
    return "the name cannot be written in this system's code page";
  }
  char text[512] = {};
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof(text), nullptr);
  std::string sentence(text, length);
  while (!sentence.empty() &&
         (sentence.back() == '\n' || sentence.back() == '\r' || sentence.back() == ' ')) {
    sentence.pop_back();
  }
  return sentence.empty() ? "Error " + std::to_string(code) + "." : sentence;
}

// What was being done when an operation failed.
std::string Doing(const RunProblem& problem) {
  const vostrel::Operation& operation = problem.operation;
  switch (operation.kind) {
    case OperationKind::kCreateFolder:
      return "Creating the folder " + problem.path;
    case OperationKind::kCopyFile:
      return "Copying " + problem.path;
    case OperationKind::kFindFirst:
    case OperationKind::kFindEnd:
      return "Reading the folder " + problem.path;
    case OperationKind::kSetAttributes:
      return "Setting the attributes of " + problem.path;
    case OperationKind::kWriteProfile:
      return "Writing " + operation.key + "=" + operation.value + " to " + problem.path;
    case OperationKind::kRemoveFile:
      return "Deleting " + problem.path;
  }
  return problem.path;
}

std::string Line(const RunProblem& problem) {
  const std::string reason = SystemText(problem.code);
  switch (problem.kind) {
    case ProblemKind::kOperationFailed:
    case ProblemKind::kListingEnded:
      return Doing(problem) + ": " + reason;
    case ProblemKind::kStoppedAtKitFile:
      return "Stopped at " + problem.operation.target + ": " + reason;
    case ProblemKind::kStoppedAfterCopy:
      return "The rest of " + problem.path + " was not copied: " + reason;
    case ProblemKind::kStoppedListing:
      return "Reading the folder " + problem.path + " ended early: " + reason;
    case ProblemKind::kEntryLeftOut:
      return "Left out " + problem.path + ": " + problem.reason;
  }
  return problem.path;
}

}  // namespace

std::string RunProblemsText(const vostrel::RunResult& result) {
  std::string text = "The kit may be incomplete:";
  const std::vector<RunProblem>& list = result.problems;
  for (std::size_t i = 0; i < list.size() && i < kLinesShown; ++i) text += "\n" + Line(list[i]);
  if (list.size() > kLinesShown) {
    text += "\nand " + std::to_string(list.size() - kLinesShown) + " more";
  }
  if (result.MetEarlierKit()) {
    text += "\nThe destination already held a kit: choose an empty folder and generate again.";
  }
  return text;
}
