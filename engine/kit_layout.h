// The kit's layout: every folder and fixed file the steps name below a root,
// spelled as the steps write them. The case of each name is the case the
// kit gets on disk, so it is kept exactly as the steps have always used it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vostrel {

class FileSystem;

// A path below a root ("\Talvor Imaging\Tools"), joined from its folder and
// a name when the program is compiled. It holds its own text, so tables of
// paths need no storage elsewhere; it reads as a C string.
class KitPath {
 public:
  constexpr KitPath() = default;
  constexpr explicit KitPath(const char* top) { Append(top); }
  constexpr KitPath(const KitPath& folder, const char* name) : KitPath(folder) {
    Append("\\");
    Append(name);
  }

  constexpr const char* c_str() const { return text_; }
  constexpr operator const char*() const { return text_; }
  constexpr bool empty() const { return size_ == 0; }

 private:
  // A path longer than the capacity fails to compile: the write past the
  // end is not a constant expression.
  constexpr void Append(const char* part) {
    for (; *part != '\0'; ++part) {
      text_[size_++] = *part;
      text_[size_] = '\0';
    }
  }

  char text_[64] = {};
  std::size_t size_ = 0;
};

inline std::string operator+(const std::string& root, const KitPath& suffix) {
  return root + suffix.c_str();
}

namespace kit_layout {

inline constexpr KitPath kTalvorImaging{"\\Talvor Imaging"};
inline constexpr KitPath kTools{kTalvorImaging, "Tools"};
inline constexpr KitPath kVok{kTalvorImaging, "Vok"};
inline constexpr KitPath kVokDll{kVok, "dll"};
// The board libraries are removed through "DLL": the same folder, as names
// compare without regard to case.
inline constexpr KitPath kVokDllRemovals{kVok, "DLL"};
inline constexpr KitPath kRevisionFile{kVok, "Revision.txt"};
inline constexpr KitPath kSetupTypeFile{kVok, "SetupType.txt"};
inline constexpr KitPath kQuenzo{kTalvorImaging, "Quenzo"};
inline constexpr KitPath kQuenzoControls{kQuenzo, "Controls"};
inline constexpr KitPath kFramory{kTalvorImaging, "Framory"};
inline constexpr KitPath kDrivers{kTalvorImaging, "Drivers"};
inline constexpr KitPath kJurano{"\\Jurano"};
inline constexpr KitPath kJuranoRuntime{kJurano, "runtime"};

// The medium's installer: --source names it or the folder that holds it.
inline constexpr KitPath kSetupProgram{"\\setup.exe"};

// Every folder the steps make below the root, parents first; the driver
// folders of the boards and the video card lie below kDrivers.
inline constexpr KitPath kFolders[] = {
    kTalvorImaging,  kTools,   kVok,     kVokDll, kQuenzo,
    kQuenzoControls, kFramory, kDrivers, kJurano, kJuranoRuntime,
};

// The folders directly below the root that hold all of kFolders ("\Talvor
// Imaging", "\Jurano"), in that order: below the root the kit creates,
// edits and deletes files only inside them.
std::vector<std::string> TopFolders();

// Whether the folder `root` is an installation medium: it holds the
// installer or a "Talvor Imaging" folder (names in any case). A medium that
// lacks some of its folders is still one; any other folder is not. The one
// test of what a medium is, whatever FileSystem holds it.
bool IsMedium(FileSystem& fs, const std::string& root);

}  // namespace kit_layout
}  // namespace vostrel
