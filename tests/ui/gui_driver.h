// Drives the real Vostrel.exe from another process, as a person would:
// through window messages (clicks, keys, system commands) and by reading
// what the windows show. A probe hook reads the little that another process
// cannot see (the system menu, fonts, icons).
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace vostrel::gui {

constexpr std::chrono::milliseconds kTimeout{20000};

// Polls `condition` until it holds or `timeout` has passed.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = kTimeout);

// The folder of the test program, where Vostrel.exe is built beside it.
std::string FolderOfThisProgram();

std::string WindowText(HWND window);
std::string ClassName(HWND window);
DWORD Style(HWND window);
// The direct children of `parent`, in Z order (a dialog's template order).
std::vector<HWND> Children(HWND parent);
// `window`'s rectangle in the client coordinates of `parent`.
RECT RectIn(HWND window, HWND parent);
bool IsVisibleChild(HWND parent, int id);
// `path` with '\' separators.
std::string WindowsPath(std::string path);
bool SamePath(const std::string& a, const std::string& b);

// Dialog base units of the tool's template font ("MS Shell Dlg", 8 points,
// DS_SETFONT | DS_FIXEDSYS), measured on a dialog of this process.
struct DialogUnits {
  int x = 0;
  int y = 0;
  // A template rectangle converted as the dialog manager places a control.
  RECT ToPixels(int left, int top, int width, int height) const;
};
DialogUnits TemplateDialogUnits();

// A screenshot of the whole screen as <artefact folder>/<name>.png, taken
// with ImageMagick's import. Nothing when VOSTREL_ARTIFACTS is not set.
void SaveScreenshot(const std::string& name);

// Runs a shell command on the Linux host under Wine and waits for it; true
// when it exits 0. Quote with single quotes only. False outside Wine.
bool RunOnHost(const std::string& command, std::chrono::milliseconds timeout = kTimeout);
// The host path of a Windows path under Wine; empty elsewhere.
std::string HostPath(const std::string& windowsPath);

// What the probe read inside the tool's process.
struct MenuItem {
  UINT type = 0;
  UINT id = 0;
  std::string text;
};
struct ControlFont {
  int id = 0;
  LONG height = 0;
  LONG weight = 0;
};
struct ProbeReport {
  std::vector<MenuItem> systemMenu;
  std::vector<ControlFont> fonts;
  bool bigIconIsApplicationIcon = false;
  bool smallIconIsApplicationIcon = false;
  const ControlFont* Font(int id) const;
};

// One run of Vostrel.exe, ended when the object goes if it still runs.
class VostrelProcess {
 public:
  // Starts the tool with `currentDirectory` (the folder picker opens there)
  // and waits for its main window.
  explicit VostrelProcess(const std::string& currentDirectory = "");
  ~VostrelProcess();
  VostrelProcess(const VostrelProcess&) = delete;
  VostrelProcess& operator=(const VostrelProcess&) = delete;

  HWND main() const { return main_; }
  HWND Item(int id) const { return ::GetDlgItem(main_, id); }
  std::string ItemText(int id) const { return WindowText(Item(id)); }

  // A visible top-level window of the process, other than the main window,
  // with the given caption; waits for it. Null on timeout.
  HWND WaitForWindow(const std::string& caption,
                     std::chrono::milliseconds timeout = kTimeout) const;
  HWND FindWindowNamed(const std::string& caption) const;
  // Waits until no window with that caption is left.
  bool WaitForWindowGone(const std::string& caption) const;

  // A visible dialog of the process owned by the main window (a picker or a
  // message box); waits for it.
  HWND WaitForOwnedDialog() const;

  // The window that has the keyboard focus in the tool.
  HWND Focus() const;
  bool WaitForFocus(int id) const;

  // A click on a button (posted: the click may open a modal window).
  static void Click(HWND button);
  // A key press on `target` (the focused control, as the keyboard sends it).
  static void PressKey(HWND target, UINT virtualKey);
  // Presses a key where the focus is.
  void PressKeyOnFocus(UINT virtualKey) const;
  void SystemCommand(WPARAM command) const;

  bool WaitForExit(std::chrono::milliseconds timeout = kTimeout) const;
  DWORD ExitCode() const;

  ProbeReport Probe() const;

 private:
  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
};

// A message box as shown: its caption, text and buttons.
struct MessageBoxView {
  std::string caption;
  std::string text;
  std::vector<std::string> buttons;
  bool hasIcon = false;
  HWND okButton = nullptr;
};
MessageBoxView ReadMessageBox(HWND box);

// Opens the source picker with Browse and returns the Open dialog.
HWND OpenSourcePicker(const VostrelProcess& tool);
// Types `path` into the Open dialog's file name box and confirms.
void ConfirmFileName(HWND picker, const std::string& path);
// Browse, `path`, Open: the source field receives the path.
bool PickSource(const VostrelProcess& tool, const std::string& path);

// Opens the folder picker with Browse and returns its frame.
HWND OpenFolderPicker(const VostrelProcess& tool);
// Browse and Select at once: the field receives the folder the picker opens
// on.
bool PickDestination(const VostrelProcess& tool);
// Browse to `folder` and Select, as a person does: a file dialog opens where
// the last one confirmed a file, so a file is first chosen there in the
// source picker (which also sets the source field).
bool PickDestination(const VostrelProcess& tool, const std::string& folder);

}  // namespace vostrel::gui
