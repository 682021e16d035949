// The choices of one run, one flag per check box of the main window.
#pragma once

#include <array>
#include <cstddef>

namespace vostrel {

constexpr std::size_t kBoardCount = 12;

struct KitSelection {
  bool libraryRuntime = false;
  bool controlPackage = false;
  bool cameraTool = false;
  // Indexed by board row - 1 (row 1 is boards[0]), in the driver table's order.
  std::array<bool, kBoardCount> boards{};
  bool videoCard = false;

  bool Board(int row) const { return boards[static_cast<std::size_t>(row - 1)]; }
};

}  // namespace vostrel
