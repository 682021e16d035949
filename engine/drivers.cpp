#include "engine/board_table.h"
#include "engine/steps.h"

namespace vostrel {

namespace {

struct CommonDriverFolder {
  const char* suffix;
  bool recursive;
};

constexpr CommonDriverFolder kCommonDriverFolders[] = {
    {"\\Talvor Imaging\\Drivers\\DMA", true},
    {"\\Talvor Imaging\\Drivers\\Host", true},
    {"\\Talvor Imaging\\Drivers\\TalvorSerial", true},
    {"\\Talvor Imaging\\Drivers\\TalvorAux", true},
    {"\\Talvor Imaging\\Drivers\\Utilities", false},
    {"\\Talvor Imaging\\Drivers\\win2000", true},
};

constexpr int kPellamRow = 1;
constexpr int kArduneRow = 5;
constexpr int kJuranoRow = 10;
constexpr const char* kPellamConfig = "\\Talvor Imaging\\Drivers\\Pellam\\Pellam.cfg";

void CopyDriverFolder(RunContext& run, const char* suffix, bool recursive) {
  run.fs.CreateFolder(run.destRoot + suffix);
  CopyTree(run, run.sourceRoot + suffix, run.destRoot + suffix, recursive);
}

// A medium on CD is read-only and so are the copies made from it: the
// attributes are reset first, or the file could never be deleted.
void DeleteFromKit(RunContext& run, const char* suffix) {
  const std::string path = run.destRoot + suffix;
  run.fs.SetAttributes(path, kFileAttributeNormal);
  run.fs.RemoveFile(path);
}

bool RowCopies(const KitSelection& selection, int row) {
  // The Ardune board needs the Pellam drivers as well.
  if (row == kPellamRow) return selection.Board(kPellamRow) || selection.Board(kArduneRow);
  return selection.Board(row);
}

}  // namespace

void CopyDrivers(RunContext& run) {
  run.feedback.SetStatus("Copying Talvor Drivers Files...");
  CreateFolders(run, {"\\Talvor Imaging", "\\Talvor Imaging\\Drivers"});
  for (const CommonDriverFolder& folder : kCommonDriverFolders) {
    CopyDriverFolder(run, folder.suffix, folder.recursive);
  }
  for (const BoardDriverRow& board : kBoardDrivers) {
    if (RowCopies(run.selection, board.row)) {
      run.feedback.SetStatus(board.statusText);
      CopyDriverFolder(run, board.driverFolder, true);
      if (board.row == kArduneRow) DeleteFromKit(run, kPellamConfig);
      if (board.row == kJuranoRow) CopyJuranoRuntime(run);
    } else {
      for (const char* removal : board.removals) {
        if (removal != nullptr) DeleteFromKit(run, removal);
      }
    }
  }
  if (run.selection.videoCard) {
    run.feedback.SetStatus(kVideoCardStatus);
    CopyDriverFolder(run, kVideoCardFolder, true);
  }
}

void CopyJuranoRuntime(RunContext& run) {
  run.feedback.SetStatus("Copying Talvor Jurano Runtime Files...");
  CreateFolders(run, {"\\Jurano", "\\Jurano\\runtime"});
  CopyTree(run, run.sourceRoot + "\\Jurano\\runtime", run.destRoot + "\\Jurano\\runtime", true);
}

}  // namespace vostrel
