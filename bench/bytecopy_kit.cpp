// bytecopy-kit SOURCE DEST: the kit vostrel-kit builds with every package,
// board and the video card, but with each file copied by the plain
// read/write loop (no reflink, no copy_file_range). The benchmark measures
// the reflink fast path against it. Not shipped; bench/run builds it.
#include <cstdio>
#include <string>

#include "engine/folder_creation.h"
#include "engine/redistribution.h"
#include "platform/native.h"
#include "platform/posix/posix_file_system.h"

namespace {

class QuietFeedback : public vostrel::RunFeedback {
 public:
  void SetStatus(const std::string&) override {}
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "bytecopy-kit: %s\n", text.c_str());
    failed = true;
  }
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
  void ProblemMet(const vostrel::RunProblem& problem) override {
    using vostrel::ProblemKind;
    if (problem.kind == ProblemKind::kOperationFailed ||
        problem.kind == ProblemKind::kListingEnded || problem.kind == ProblemKind::kEntryLeftOut) {
      return;
    }
    std::fprintf(stderr, "bytecopy-kit: walk of %s stopped with error %lu\n", problem.path.c_str(),
                 problem.code);
    failed = true;
  }
  bool failed = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bytecopy-kit SOURCE-FOLDER DEST-FOLDER\n");
    return 2;
  }
  const std::string source = vostrel::platform::AbsolutePath(argv[1]);
  const std::string dest = vostrel::platform::AbsolutePath(argv[2]);
  vostrel::posix::PosixFileSystem::CopyOptions options;
  options.clone = false;
  options.copyFileRange = false;
  vostrel::posix::PosixFileSystem fs(nullptr, options);
  if (!vostrel::CreateFolderWithParents(fs, dest).ok) {
    std::fprintf(stderr, "bytecopy-kit: cannot create %s\n", dest.c_str());
    return 2;
  }
  vostrel::KitSelection selection;
  selection.libraryRuntime = true;
  selection.controlPackage = true;
  selection.cameraTool = true;
  selection.boards.fill(true);
  selection.videoCard = true;
  QuietFeedback feedback;
  vostrel::RunRedistribution(fs, feedback, source, dest, selection);
  return feedback.failed ? 1 : 0;
}
