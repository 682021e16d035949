#include "tests/engine/engine_fixture.h"

#include <sstream>

#include "engine/board_table.h"
#include "engine/redistribution.h"
#include "platform/native.h"

namespace vostrel::testing {

const std::vector<std::string> kBoardLibraries = {
    "vokpellam.dll",  "vokvarnex.dll", "voktobrin.dll", "vokkestov.dll", "vokardune.dll",
    "voksorvik.dll",  "voklunnet.dll", "vokwyndel.dll", "vokcalvex.dll", "vokjurano.dll",
    "vokjuranox.dll", "voknuvaro.dll", "vokharrik.dll"};

const char* const kMediumSetupType =
    "; Setup types offered by this medium\r\n"
    "[PRODUCT]\r\n"
    "VokRuntime=Y\r\n"
    "VokDevelopment=Y\r\n"
    "QuenzoDevelopment=Y\r\n"
    "QuenzoRuntime=Y\r\n"
    "Framory=Y\r\n"
    "KRT=Y\r\n"
    "\r\n"
    "[SELECTED]\r\n"
    "VokRuntime=Y\r\n"
    "VokDevelopment=Y\r\n"
    "QuenzoRuntime=Y\r\n"
    "Framory=Y\r\n";

void BuildMedium(const TempTree& tree, const std::string& at) {
  auto put = [&](const std::string& relative) { tree.Write(at + "/" + relative, relative); };
  for (const char* file : {"setup.exe", "setup.ini", "data1.cab", "Extras/notes.txt"}) put(file);
  for (const char* tool :
       {"VOKConfig.exe", "vokdrv.exe", "BchResum.bch", "vokbench.exe", "vokdebug.exe"}) {
    put(std::string("Talvor Imaging/Tools/") + tool);
  }
  for (const std::string& library : kBoardLibraries) put("Talvor Imaging/Vok/Dll/" + library);
  put("Talvor Imaging/Vok/Dll/vokcore.dll");
  put("Talvor Imaging/Vok/Dll/Plugins/vokplugin.dll");
  put("Talvor Imaging/Vok/Revision.txt");
  put("Talvor Imaging/Vok/Include/vok.h");
  tree.Write(at + "/Talvor Imaging/Vok/SetupType.txt", kMediumSetupType);
  put("Talvor Imaging/Quenzo/Controls/quenzo.ocx");
  put("Talvor Imaging/Quenzo/Controls/Grid/grid.ocx");
  put("Talvor Imaging/Quenzo/Samples/sample.txt");
  put("Talvor Imaging/Framory/framory.exe");
  for (const char* common : {"DMA", "Host", "TalvorSerial", "TalvorAux", "win2000", "PELUX"}) {
    put(std::string("Talvor Imaging/Drivers/") + common + "/driver.inf");
    put(std::string("Talvor Imaging/Drivers/") + common + "/x86/driver.sys");
  }
  put("Talvor Imaging/Drivers/Utilities/install.exe");
  put("Talvor Imaging/Drivers/Utilities/Legacy/old.exe");
  for (const BoardDriverRow& board : kBoardDrivers) {
    put(std::string("Talvor Imaging/Drivers/") + board.label + "/board.inf");
    put(std::string("Talvor Imaging/Drivers/") + board.label + "/x86/board.sys");
  }
  put("Talvor Imaging/Drivers/Pellam/Pellam.cfg");
  put("Jurano/runtime/jurano.dll");
  put("Jurano/runtime/bin/jurano.exe");
  put("Jurano/docs/manual.txt");
}

std::map<std::string, std::string> ReadSetupType(const std::string& content) {
  std::map<std::string, std::string> values;
  std::istringstream lines(content);
  std::string line, section;
  auto trim = [](std::string text) {
    const char* space = " \t\r\n";
    text.erase(0, text.find_first_not_of(space));
    text.erase(text.find_last_not_of(space) + 1);
    return text;
  };
  auto upper = [](std::string text) {
    for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
  };
  while (std::getline(lines, line)) {
    line = trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = upper(trim(line.substr(1, line.find(']') - 1)));
    } else if (line.find('=') != std::string::npos) {
      std::string key = upper(trim(line.substr(0, line.find('='))));
      std::string entry = section + "/" + key;
      if (!values.count(entry)) values[entry] = trim(line.substr(line.find('=') + 1));
    }
  }
  return values;
}

KitSelection DefaultSelection() {
  KitSelection selection;
  selection.libraryRuntime = true;
  selection.videoCard = true;
  return selection;
}

EngineTest::EngineTest() : fs(platform::MakeNativeFileSystem()) {}
EngineTest::~EngineTest() = default;

void EngineTest::Run(const KitSelection& selection) {
  if (!tree.Exists("medium")) BuildMedium(tree);
  tree.MakeDir("kit");
  RunRedistribution(*fs, feedback, SourceRoot(), DestRoot(), selection);
}

}  // namespace vostrel::testing
