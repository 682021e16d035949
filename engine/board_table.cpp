#include "engine/board_table.h"

#include "engine/windows_path.h"

namespace vostrel {

#define VOSTREL_DRIVERS "\\Talvor Imaging\\Drivers\\"
#define VOSTREL_DLL "\\Talvor Imaging\\Vok\\DLL\\"

const std::array<BoardDriverRow, kBoardCount> kBoardDrivers = {{
    {1,
     "Pellam",
     VOSTREL_DRIVERS "Pellam",
     "Copying Talvor Pellam Drivers...",
     {VOSTREL_DLL "vokpellam.dll", nullptr}},
    {2,
     "Varnex",
     VOSTREL_DRIVERS "Varnex",
     "Copying Talvor Varnex Drivers...",
     {VOSTREL_DLL "vokvarnex.dll", nullptr}},
    {3,
     "Tobrin",
     VOSTREL_DRIVERS "Tobrin",
     "Copying Talvor Tobrin Drivers...",
     {VOSTREL_DLL "voktobrin.dll", nullptr}},
    {4,
     "Kestov",
     VOSTREL_DRIVERS "Kestov",
     "Copying Talvor Kestov Drivers...",
     {VOSTREL_DLL "vokkestov.dll", nullptr}},
    {5,
     "Ardune",
     VOSTREL_DRIVERS "Ardune",
     "Copying Talvor Ardune Drivers...",
     {VOSTREL_DLL "vokardune.dll", nullptr}},
    {6,
     "Sorvik",
     VOSTREL_DRIVERS "Sorvik",
     "Copying Talvor Sorvik Drivers...",
     {VOSTREL_DLL "voksorvik.dll", nullptr}},
    {7,
     "Lunnet",
     VOSTREL_DRIVERS "Lunnet",
     "Copying Talvor Lunnet Drivers...",
     {VOSTREL_DLL "voklunnet.dll", nullptr}},
    {8,
     "Wyndel",
     VOSTREL_DRIVERS "Wyndel",
     "Copying Talvor Wyndel Drivers...",
     {VOSTREL_DLL "vokwyndel.dll", nullptr}},
    {9,
     "Calvex",
     VOSTREL_DRIVERS "Calvex",
     "Copying Talvor Calvex Drivers...",
     {VOSTREL_DLL "vokcalvex.dll", nullptr}},
    {10,
     "Jurano",
     VOSTREL_DRIVERS "Jurano",
     "Copying Talvor Jurano Drivers...",
     {VOSTREL_DLL "vokjurano.dll", VOSTREL_DLL "vokjuranox.dll"}},
    {11,
     "Nuvaro",
     VOSTREL_DRIVERS "Nuvaro",
     "Copying Talvor Nuvaro Drivers...",
     {VOSTREL_DLL "voknuvaro.dll", nullptr}},
    {12,
     "Harrik",
     VOSTREL_DRIVERS "Harrik",
     "Copying Talvor Harrik Drivers...",
     {VOSTREL_DLL "vokharrik.dll", nullptr}},
}};

#undef VOSTREL_DRIVERS
#undef VOSTREL_DLL

const char* const kVideoCardFolder = "\\Talvor Imaging\\Drivers\\PELUX";
const char* const kVideoCardStatus = "Copying Talvor PELUX Drivers...";

const BoardDriverRow* FindBoard(const std::string& name) {
  for (const BoardDriverRow& row : kBoardDrivers) {
    if (winpath::SameName(row.label, name)) return &row;
  }
  return nullptr;
}

}  // namespace vostrel
