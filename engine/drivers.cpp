#include "engine/board_table.h"
#include "engine/kit_layout.h"
#include "engine/steps.h"

namespace vostrel {

using namespace kit_layout;

namespace {

struct CommonDriverFolder {
  KitPath suffix;
  bool recursive;
};

constexpr CommonDriverFolder kCommonDriverFolders[] = {
    {{kDrivers, "DMA"}, true},          {{kDrivers, "Host"}, true},
    {{kDrivers, "TalvorSerial"}, true}, {{kDrivers, "TalvorAux"}, true},
    {{kDrivers, "Utilities"}, false},   {{kDrivers, "win2000"}, true},
};

constexpr int kPellamRow = 1;
constexpr int kArduneRow = 5;
constexpr int kJuranoRow = 10;
constexpr KitPath kPellamConfig{{kDrivers, "Pellam"}, "Pellam.cfg"};

void CopyDriverFolder(RunContext& run, const char* suffix, bool recursive) {
  run.fs.CreateFolder(run.destRoot + suffix);
  CopyFolder(run, suffix, recursive);
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
  CreateFolders(run, {kTalvorImaging, kDrivers});
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
      for (const KitPath& removal : board.removals) {
        if (!removal.empty()) DeleteFromKit(run, removal);
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
  CreateFolders(run, {kJurano, kJuranoRuntime});
  CopyFolder(run, kJuranoRuntime);
}

}  // namespace vostrel
