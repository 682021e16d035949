// A message hook loaded into Vostrel.exe by the GUI tests. On the probe
// message it reports what only the tool's own process can read: its system
// menu, the fonts of the dialog's controls and the dialog's icons.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/ui/probe_protocol.h"

namespace {

void AppendSystemMenu(HWND dialog, std::string& report) {
  HMENU menu = ::GetSystemMenu(dialog, FALSE);
  int count = menu != nullptr ? ::GetMenuItemCount(menu) : 0;
  for (int i = 0; i < count; ++i) {
    char text[256] = {};
    MENUITEMINFOA item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
    item.dwTypeData = text;
    item.cch = sizeof(text) - 1;
    if (!::GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &item)) continue;
    char line[400];
    std::snprintf(line, sizeof(line), "menu %u %u %s\n", item.fType, item.wID, text);
    report += line;
  }
}

void AppendFonts(HWND dialog, std::string& report) {
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    auto font = reinterpret_cast<HFONT>(::SendMessageA(child, WM_GETFONT, 0, 0));
    LOGFONTA description{};
    if (font == nullptr || ::GetObjectA(font, sizeof(description), &description) == 0) continue;
    char line[100];
    std::snprintf(line, sizeof(line), "font %d %ld %ld\n", ::GetDlgCtrlID(child),
                  static_cast<long>(description.lfHeight), static_cast<long>(description.lfWeight));
    report += line;
  }
}

void AppendIcons(HWND dialog, std::string& report) {
  HICON application = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128));
  auto big = reinterpret_cast<HICON>(::SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
  auto small = reinterpret_cast<HICON>(::SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0));
  char line[100];
  std::snprintf(line, sizeof(line), "icons %d %d\n", application != nullptr && big == application,
                application != nullptr && small == application);
  report += line;
}

void Report(HWND dialog) {
  std::string report;
  AppendSystemMenu(dialog, report);
  AppendFonts(dialog, report);
  AppendIcons(dialog, report);

  HANDLE mapping = ::OpenFileMappingA(FILE_MAP_WRITE, FALSE, vostrel::gui::kProbeReportMapping);
  HANDLE done = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, vostrel::gui::kProbeDoneEvent);
  if (mapping != nullptr && done != nullptr) {
    if (void* view = ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) {
      size_t length = report.size() < vostrel::gui::kProbeReportSize - 1
                          ? report.size()
                          : vostrel::gui::kProbeReportSize - 1;
      std::memcpy(view, report.data(), length);
      static_cast<char*>(view)[length] = '\0';
      ::UnmapViewOfFile(view);
      ::SetEvent(done);
    }
  }
  if (done != nullptr) ::CloseHandle(done);
  if (mapping != nullptr) ::CloseHandle(mapping);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    ProbeHook(int code, WPARAM wParam, LPARAM lParam) {
  static const UINT probeMessage = ::RegisterWindowMessageA(vostrel::gui::kProbeMessage);
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (message->message == probeMessage) Report(message->hwnd);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
