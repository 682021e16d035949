#include "engine/board_table.h"

#include "engine/name_key.h"

namespace vostrel {

namespace {

// A board's drivers lie in the folder named after it; its libraries are
// removed from the runtime folder.
constexpr BoardDriverRow Board(int row, const char* label, const char* statusText,
                               const char* library, const char* secondLibrary = nullptr) {
  using kit_layout::kVokDllRemovals;
  return {row,
          label,
          KitPath(kit_layout::kDrivers, label),
          statusText,
          {KitPath(kVokDllRemovals, library),
           secondLibrary != nullptr ? KitPath(kVokDllRemovals, secondLibrary) : KitPath()}};
}

}  // namespace

constexpr std::array<BoardDriverRow, kBoardCount> kBoardDrivers = {
    Board(1, "Pellam", "Copying Talvor Pellam Drivers...", "vokpellam.dll"),
    Board(2, "Varnex", "Copying Talvor Varnex Drivers...", "vokvarnex.dll"),
    Board(3, "Tobrin", "Copying Talvor Tobrin Drivers...", "voktobrin.dll"),
    Board(4, "Kestov", "Copying Talvor Kestov Drivers...", "vokkestov.dll"),
    Board(5, "Ardune", "Copying Talvor Ardune Drivers...", "vokardune.dll"),
    Board(6, "Sorvik", "Copying Talvor Sorvik Drivers...", "voksorvik.dll"),
    Board(7, "Lunnet", "Copying Talvor Lunnet Drivers...", "voklunnet.dll"),
    Board(8, "Wyndel", "Copying Talvor Wyndel Drivers...", "vokwyndel.dll"),
    Board(9, "Calvex", "Copying Talvor Calvex Drivers...", "vokcalvex.dll"),
    Board(10, "Jurano", "Copying Talvor Jurano Drivers...", "vokjurano.dll", "vokjuranox.dll"),
    Board(11, "Nuvaro", "Copying Talvor Nuvaro Drivers...", "voknuvaro.dll"),
    Board(12, "Harrik", "Copying Talvor Harrik Drivers...", "vokharrik.dll"),
};

constexpr KitPath kVideoCardFolder{kit_layout::kDrivers, "PELUX"};
const char* const kVideoCardStatus = "Copying Talvor PELUX Drivers...";

const BoardDriverRow* FindBoard(const std::string& name) {
  for (const BoardDriverRow& row : kBoardDrivers) {
    if (names::SameName(row.label, name)) return &row;
  }
  return nullptr;
}

}  // namespace vostrel
