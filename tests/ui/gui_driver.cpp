#include "tests/ui/gui_driver.h"

#include <dlgs.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "res/resource.h"
#include "tests/ui/probe_protocol.h"

namespace vostrel::gui {

std::string FolderOfThisProgram() {
  char path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/"));
}

namespace {

constexpr const char* kMainCaption = "Talvor Imaging Library Redistribution";

// Under Wine without a window manager, let Wine draw the captions itself so
// that windows look (and measure) as on Windows. Read by each new process.
void DrawCaptionsUnderWine() {
  static bool done = false;
  if (done) return;
  done = true;
  if (::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr) return;
  HKEY key = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    static const char kNo[] = "N";
    ::RegSetValueExA(key, "Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNo), sizeof(kNo));
    ::RegCloseKey(key);
  }
}

struct WindowSearch {
  DWORD processId;
  HWND exclude;
  std::string caption;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId || window == search->exclude || !::IsWindowVisible(window)) {
    return TRUE;
  }
  if (WindowText(window) != search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

struct OwnedSearch {
  DWORD processId;
  HWND owner;
  HWND found;
};

BOOL CALLBACK MatchOwnedDialog(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<OwnedSearch*>(parameter);
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  if (processId == search->processId && ::IsWindowVisible(window) &&
      ::GetWindow(window, GW_OWNER) == search->owner && ClassName(window) == "#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

INT_PTR CALLBACK IgnoreMessages(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

HWND FindTopLevel(DWORD processId, HWND exclude, const std::string& caption) {
  WindowSearch search{processId, exclude, caption, nullptr};
  ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

std::string WindowText(HWND window) {
  if (window == nullptr) return {};
  char text[4096] = {};
  DWORD_PTR copied = 0;
  // Through the window's own thread; a tool busy with a run answers late.
  if (!::SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                             SMTO_NORMAL, 5000, &copied)) {
    return {};
  }
  return std::string(text, std::min<size_t>(copied, sizeof(text) - 1));
}

std::string ClassName(HWND window) {
  char name[256] = {};
  int length = ::GetClassNameA(window, name, sizeof(name));
  return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

DWORD Style(HWND window) { return static_cast<DWORD>(::GetWindowLongA(window, GWL_STYLE)); }

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

RECT RectIn(HWND window, HWND parent) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool IsVisibleChild(HWND parent, int id) {
  HWND child = ::GetDlgItem(parent, id);
  return child != nullptr && ::IsWindowVisible(child);
}

std::string WindowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

bool SamePath(const std::string& a, const std::string& b) {
  std::string left = WindowsPath(a);
  std::string right = WindowsPath(b);
  return left.size() == right.size() &&
         std::equal(left.begin(), left.end(), right.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

RECT DialogUnits::ToPixels(int left, int top, int width, int height) const {
  RECT rect;
  rect.left = ::MulDiv(left, x, 4);
  rect.top = ::MulDiv(top, y, 8);
  rect.right = rect.left + ::MulDiv(width, x, 4);
  rect.bottom = rect.top + ::MulDiv(height, y, 8);
  return rect;
}

DialogUnits TemplateDialogUnits() {
  // An empty extended template with the tool's font, built here so the
  // measure does not come from the program under test.
  std::vector<WORD> data;
  auto word = [&data](WORD value) { data.push_back(value); };
  auto dword = [&data](DWORD value) {
    data.push_back(LOWORD(value));
    data.push_back(HIWORD(value));
  };
  word(1);
  word(0xFFFF);
  dword(0);                                    // help id
  dword(0);                                    // extended style
  dword(WS_POPUP | DS_SETFONT | DS_FIXEDSYS);  // style
  word(0);                                     // items
  word(0), word(0), word(100), word(100);      // x, y, cx, cy
  word(0), word(0), word(0);                   // menu, class, caption
  word(8), word(0), word(0x0100);              // points, weight, italic 0 + charset 1
  for (const char* c = "MS Shell Dlg"; *c != '\0'; ++c) word(static_cast<WORD>(*c));
  word(0);
  data.push_back(0);  // DWORD alignment slack

  HWND dialog = ::CreateDialogIndirectParamW(::GetModuleHandleA(nullptr),
                                             reinterpret_cast<LPCDLGTEMPLATEW>(data.data()),
                                             nullptr, IgnoreMessages, 0);
  if (dialog == nullptr) throw std::runtime_error("cannot create the measuring dialog");
  RECT units{0, 0, 4, 8};
  ::MapDialogRect(dialog, &units);
  ::DestroyWindow(dialog);
  return DialogUnits{units.right, units.bottom};
}

void SaveScreenshot(const std::string& name) {
  const char* folder = std::getenv("VOSTREL_ARTIFACTS");
  if (folder == nullptr || *folder == '\0') return;
  // Give the windows time to paint what the test just did.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ::CreateDirectoryA(("Z:" + WindowsPath(folder)).c_str(), nullptr);
  RunOnHost("import -window root 'png:" + std::string(folder) + "/" + name + ".png'");
}

bool RunOnHost(const std::string& command, std::chrono::milliseconds timeout) {
  if (::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr) {
    return false;
  }
  // Wine starts a host program but cannot wait for it: the program leaves
  // its exit status in a file, written whole under a partial name first.
  static int count = 0;
  const std::string status =
      "/tmp/vostrel-gui-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++count);
  std::string line = "/bin/sh -c \"" + command + "; echo $? >'" + status + ".part' && mv '" +
                     status + ".part' '" + status + "'\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return false;
  }
  if (process.hThread != nullptr) ::CloseHandle(process.hThread);
  if (process.hProcess != nullptr) ::CloseHandle(process.hProcess);
  const std::string result = "Z:" + WindowsPath(status);
  if (!WaitUntil([&] { return ::GetFileAttributesA(result.c_str()) != INVALID_FILE_ATTRIBUTES; },
                 timeout)) {
    return false;
  }
  char code[16] = {};
  HANDLE file = ::CreateFileA(result.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD read = 0;
  if (file != INVALID_HANDLE_VALUE) {
    ::ReadFile(file, code, sizeof(code) - 1, &read, nullptr);
    ::CloseHandle(file);
  }
  ::DeleteFileA(result.c_str());
  return code[0] == '0' && (code[1] == '\n' || code[1] == '\0');
}

std::string HostPath(const std::string& windowsPath) {
  using UnixFileName = char*(CDECL*)(LPCWSTR);
  auto convert = reinterpret_cast<UnixFileName>(reinterpret_cast<void (*)()>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return {};
  std::wstring wide(windowsPath.begin(), windowsPath.end());
  char* host = convert(wide.c_str());
  if (host == nullptr) return {};
  std::string path(host);
  ::HeapFree(::GetProcessHeap(), 0, host);
  return path;
}

const ControlFont* ProbeReport::Font(int id) const {
  for (const ControlFont& font : fonts) {
    if (font.id == id) return &font;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------

VostrelProcess::VostrelProcess(const std::string& currentDirectory) {
  DrawCaptionsUnderWine();
  std::string program = FolderOfThisProgram() + "\\Vostrel.exe";
  std::string commandLine = "\"" + program + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup,
                        &process_)) {
    throw std::runtime_error("cannot start " + program);
  }
  ::WaitForInputIdle(process_.hProcess, 10000);
  WaitUntil([this] {
    main_ = FindTopLevel(process_.dwProcessId, nullptr, kMainCaption);
    return main_ != nullptr;
  });
  if (main_ == nullptr) throw std::runtime_error("Vostrel.exe shows no main window");
}

VostrelProcess::~VostrelProcess() {
  if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_.hProcess, 1);
    ::WaitForSingleObject(process_.hProcess, 10000);
  }
  ::CloseHandle(process_.hThread);
  ::CloseHandle(process_.hProcess);
}

HWND VostrelProcess::FindWindowNamed(const std::string& caption) const {
  return FindTopLevel(process_.dwProcessId, main_, caption);
}

HWND VostrelProcess::WaitForWindow(const std::string& caption,
                                   std::chrono::milliseconds timeout) const {
  HWND window = nullptr;
  WaitUntil(
      [&] {
        window = FindWindowNamed(caption);
        return window != nullptr;
      },
      timeout);
  return window;
}

bool VostrelProcess::WaitForWindowGone(const std::string& caption) const {
  return WaitUntil([&] { return FindWindowNamed(caption) == nullptr; });
}

HWND VostrelProcess::WaitForOwnedDialog() const {
  OwnedSearch search{process_.dwProcessId, main_, nullptr};
  WaitUntil([&] {
    search.found = nullptr;
    ::EnumWindows(MatchOwnedDialog, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  return search.found;
}

HWND VostrelProcess::Focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!::GetGUIThreadInfo(process_.dwThreadId, &info)) return nullptr;
  return info.hwndFocus;
}

bool VostrelProcess::WaitForFocus(int id) const {
  return WaitUntil([&] {
    HWND focus = Focus();
    return focus != nullptr && ::GetDlgCtrlID(focus) == id;
  });
}

void VostrelProcess::Click(HWND button) { ::PostMessageA(button, BM_CLICK, 0, 0); }

void VostrelProcess::PressKey(HWND target, UINT virtualKey) {
  LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyA(virtualKey, 0)) << 16;
  ::PostMessageA(target, WM_KEYDOWN, virtualKey, scan | 1);
  ::PostMessageA(target, WM_KEYUP, virtualKey, scan | 1 | (1u << 30) | (1u << 31));
}

void VostrelProcess::PressKeyOnFocus(UINT virtualKey) const {
  HWND focus = Focus();
  PressKey(focus != nullptr ? focus : main_, virtualKey);
}

void VostrelProcess::SystemCommand(WPARAM command) const {
  ::PostMessageA(main_, WM_SYSCOMMAND, command, 0);
}

bool VostrelProcess::WaitForExit(std::chrono::milliseconds timeout) const {
  return ::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) ==
         WAIT_OBJECT_0;
}

DWORD VostrelProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

ProbeReport VostrelProcess::Probe() const {
  HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        kProbeReportSize, kProbeReportMapping);
  HANDLE done = ::CreateEventA(nullptr, FALSE, FALSE, kProbeDoneEvent);
  HMODULE probe = ::LoadLibraryA((FolderOfThisProgram() + "\\vostrel_ui_probe.dll").c_str());
  auto hook = probe != nullptr ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(
                                     ::GetProcAddress(probe, kProbeHookName)))
                               : nullptr;
  HHOOK installed = hook != nullptr
                        ? ::SetWindowsHookExA(WH_GETMESSAGE, hook, probe, process_.dwThreadId)
                        : nullptr;
  std::string text;
  if (installed != nullptr && mapping != nullptr && done != nullptr) {
    ::PostMessageA(main_, ::RegisterWindowMessageA(kProbeMessage), 0, 0);
    if (::WaitForSingleObject(done, 10000) == WAIT_OBJECT_0) {
      if (const void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) {
        text = static_cast<const char*>(view);
        ::UnmapViewOfFile(view);
      }
    }
  }
  if (installed != nullptr) ::UnhookWindowsHookEx(installed);
  if (probe != nullptr) ::FreeLibrary(probe);
  if (done != nullptr) ::CloseHandle(done);
  if (mapping != nullptr) ::CloseHandle(mapping);
  if (text.empty()) throw std::runtime_error("the probe did not answer");

  ProbeReport report;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    if (kind == "menu") {
      MenuItem item;
      fields >> item.type >> item.id;
      std::getline(fields >> std::ws, item.text);
      report.systemMenu.push_back(item);
    } else if (kind == "font") {
      ControlFont font;
      fields >> font.id >> font.height >> font.weight;
      report.fonts.push_back(font);
    } else if (kind == "icons") {
      int big = 0;
      int small = 0;
      fields >> big >> small;
      report.bigIconIsApplicationIcon = big != 0;
      report.smallIconIsApplicationIcon = small != 0;
    }
  }
  return report;
}

MessageBoxView ReadMessageBox(HWND box) {
  MessageBoxView view;
  view.caption = WindowText(box);
  for (HWND child : Children(box)) {
    if (!::IsWindowVisible(child)) continue;
    std::string kind = ClassName(child);
    if (_stricmp(kind.c_str(), "Button") == 0) {
      view.buttons.push_back(WindowText(child));
      if (::GetDlgCtrlID(child) == IDOK) view.okButton = child;
    } else if (_stricmp(kind.c_str(), "Static") == 0) {
      if ((Style(child) & SS_TYPEMASK) == SS_ICON) {
        view.hasIcon = true;
      } else if (!WindowText(child).empty()) {
        view.text = WindowText(child);
      }
    }
  }
  return view;
}

HWND OpenSourcePicker(const VostrelProcess& tool) {
  VostrelProcess::Click(tool.Item(IDC_BROWSE_SOURCE));
  return tool.WaitForOwnedDialog();
}

void ConfirmFileName(HWND picker, const std::string& path) {
  // The Explorer-style dialog's file name box: a combo box with an edit, or
  // a plain edit.
  HWND box = ::GetDlgItem(picker, cmb13);
  if (box == nullptr) box = ::GetDlgItem(picker, edt1);
  ::SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  VostrelProcess::Click(::GetDlgItem(picker, IDOK));
}

bool PickSource(const VostrelProcess& tool, const std::string& path) {
  HWND picker = OpenSourcePicker(tool);
  if (picker == nullptr) return false;
  ConfirmFileName(picker, WindowsPath(path));
  return WaitUntil([&] { return !::IsWindow(picker); }) &&
         WaitUntil([&] { return SamePath(tool.ItemText(IDC_SOURCE), path); });
}

HWND OpenFolderPicker(const VostrelProcess& tool) {
  VostrelProcess::Click(tool.Item(IDC_BROWSE_DESTINATION));
  return tool.WaitForWindow("Choose folder");
}

bool PickDestination(const VostrelProcess& tool) {
  HWND picker = OpenFolderPicker(tool);
  if (picker == nullptr) return false;
  VostrelProcess::Click(::GetDlgItem(picker, IDOK));
  return WaitUntil([&] { return !::IsWindow(picker); });
}

bool PickDestination(const VostrelProcess& tool, const std::string& folder) {
  return PickSource(tool, WindowsPath(folder) + "\\setup.exe") && PickDestination(tool) &&
         WaitUntil([&] { return SamePath(tool.ItemText(IDC_DESTINATION), folder); });
}

}  // namespace vostrel::gui
