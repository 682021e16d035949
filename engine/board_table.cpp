#include "engine/board_table.h"

#include "engine/windows_path.h"

namespace vostrel {

#define VOSTREL_DRIVERS "\\Talvor Imaging\\Drivers\\"
#define VOSTREL_DLL "\\Talvor Imaging\\Vok\\DLL\\"

const std::array<BoardDriverRow, kBoardCount> kBoardDrivers = {{
    {1,
     "Pellam",
     1008,
     VOSTREL_DRIVERS "Pellam",
     "Copying Talvor Pellam Drivers...",
     {VOSTREL_DLL "vokpellam.dll", nullptr}},
    {2,
     "Varnex",
     1009,
     VOSTREL_DRIVERS "Varnex",
     "Copying Talvor Varnex Drivers...",
     {VOSTREL_DLL "vokvarnex.dll", nullptr}},
    {3,
     "Tobrin",
     1010,
     VOSTREL_DRIVERS "Tobrin",
     "Copying Talvor Tobrin Drivers...",
     {VOSTREL_DLL "voktobrin.dll", nullptr}},
    {4,
     "Kestov",
     1012,
     VOSTREL_DRIVERS "Kestov",
     "Copying Talvor Kestov Drivers...",
     {VOSTREL_DLL "vokkestov.dll", nullptr}},
    {5,
     "Ardune",
     1013,
     VOSTREL_DRIVERS "Ardune",
     "Copying Talvor Ardune Drivers...",
     {VOSTREL_DLL "vokardune.dll", nullptr}},
    {6,
     "Sorvik",
     1014,
     VOSTREL_DRIVERS "Sorvik",
     "Copying Talvor Sorvik Drivers...",
     {VOSTREL_DLL "voksorvik.dll", nullptr}},
    {7,
     "Lunnet",
     1019,
     VOSTREL_DRIVERS "Lunnet",
     "Copying Talvor Lunnet Drivers...",
     {VOSTREL_DLL "voklunnet.dll", nullptr}},
    {8,
     "Wyndel",
     1018,
     VOSTREL_DRIVERS "Wyndel",
     "Copying Talvor Wyndel Drivers...",
     {VOSTREL_DLL "vokwyndel.dll", nullptr}},
    {9,
     "Calvex",
     1011,
     VOSTREL_DRIVERS "Calvex",
     "Copying Talvor Calvex Drivers...",
     {VOSTREL_DLL "vokcalvex.dll", nullptr}},
    {10,
     "Jurano",
     1017,
     VOSTREL_DRIVERS "Jurano",
     "Copying Talvor Jurano Drivers...",
     {VOSTREL_DLL "vokjurano.dll", VOSTREL_DLL "vokjuranox.dll"}},
    {11,
     "Nuvaro",
     1016,
     VOSTREL_DRIVERS "Nuvaro",
     "Copying Talvor Nuvaro Drivers...",
     {VOSTREL_DLL "voknuvaro.dll", nullptr}},
    {12,
     "Harrik",
     1015,
     VOSTREL_DRIVERS "Harrik",
     "Copying Talvor Harrik Drivers...",
     {VOSTREL_DLL "vokharrik.dll", nullptr}},
}};

#undef VOSTREL_DRIVERS
#undef VOSTREL_DLL

const char* const kVideoCardLabel = "Talvor video card";
const int kVideoCardControlId = 1021;
const char* const kVideoCardFolder = "\\Talvor Imaging\\Drivers\\PELUX";
const char* const kVideoCardStatus = "Copying Talvor PELUX Drivers...";

const BoardDriverRow* FindBoard(const std::string& name) {
  for (const BoardDriverRow& row : kBoardDrivers) {
    if (winpath::SameName(row.label, name)) return &row;
  }
  return nullptr;
}

}  // namespace vostrel
