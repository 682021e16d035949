// The board driver table, held as data. Rows are evaluated in row order,
// which is not the order of the check boxes' control ids.
#pragma once

#include <array>
#include <string>

#include "engine/kit_layout.h"
#include "engine/kit_selection.h"

namespace vostrel {

struct BoardDriverRow {
  int row;               // 1 to 12: evaluation order
  const char* label;     // the check box's caption: the board's name
  KitPath driverFolder;  // copied recursively when the row copies
  const char* statusText;
  // Deleted from the destination when the row does not copy, in this order.
  std::array<KitPath, 2> removals;  // the second is empty except for row 10
};

extern const std::array<BoardDriverRow, kBoardCount> kBoardDrivers;

// The video-card driver, evaluated after row 12.
extern const KitPath kVideoCardFolder;
extern const char* const kVideoCardStatus;

// The board whose label matches `name` without regard to ASCII case, or null.
const BoardDriverRow* FindBoard(const std::string& name);

}  // namespace vostrel
