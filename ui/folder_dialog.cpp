#include "ui/folder_dialog.h"

#include <dlgs.h>

#include <cstdlib>

IMPLEMENT_DYNAMIC(CFolderDialog, CFileDialog)

// clang-format off
BEGIN_MESSAGE_MAP(CFolderDialog, CFileDialog)
END_MESSAGE_MAP()
// clang-format on

WNDPROC g_pfnPrevFrameProc = nullptr;

namespace {

// The picker bound to the frame's child dialog (control id 0).
CFolderDialog* FindPicker(HWND frame) {
  for (HWND child = ::GetWindow(frame, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (::GetDlgCtrlID(child) != 0) continue;
    CWnd* wnd = CWnd::FromHandlePermanent(child);
    if (wnd != nullptr && wnd->IsKindOf(RUNTIME_CLASS(CFolderDialog))) {
      return static_cast<CFolderDialog*>(wnd);
    }
  }
  return nullptr;
}

// The rectangle of `control` in the client coordinates of `frame`.
RECT RectInFrame(const CWnd& frame, const CWnd& control) {
  RECT rect{};
  control.GetWindowRect(&rect);
  frame.ScreenToClient(&rect);
  return rect;
}

}  // namespace

// "*..*" matches no ordinary file name, so the list offers folders only.
CFolderDialog::CFolderDialog(CString* result)
    : CFileDialog(TRUE, nullptr, "*..*", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT),
      m_pstrResult(result) {}

CFolderDialog::~CFolderDialog() = default;

void CFolderDialog::OnInitDone() {
  HideControl(edt1);
  HideControl(stc3);
  HideControl(cmb1);
  HideControl(stc2);
  HideControl(cmb13);

  CWnd* frame = GetParent();
  if (frame == nullptr) return;
  CWnd* cancel = frame->GetDlgItem(IDCANCEL);
  CWnd* ok = frame->GetDlgItem(IDOK);
  if (cancel != nullptr && ok != nullptr) {
    RECT cancelRect = RectInFrame(*frame, *cancel);
    RECT okRect = RectInFrame(*frame, *ok);
    // Select stands on Cancel's row, its right edge 4 pixels left of Cancel.
    ok->SetWindowPos(nullptr, cancelRect.left - (okRect.right - okRect.left) - 4, cancelRect.top, 0,
                     0, SWP_NOSIZE | SWP_NOZORDER);
    if (CWnd* list = frame->GetDlgItem(lst1)) {
      // The list reaches down to 4 pixels above the button row.
      RECT listRect = RectInFrame(*frame, *list);
      list->SetWindowPos(nullptr, 0, 0, listRect.right - listRect.left,
                         std::abs(listRect.top + 4 - cancelRect.top), SWP_NOMOVE | SWP_NOZORDER);
    }
  }
  SetControlText(IDOK, "Select");
  frame->SetWindowText("Choose folder");

  g_pfnPrevFrameProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongA(frame->m_hWnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(FolderFrameProc)));
}

LRESULT CALLBACK FolderFrameProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && HIWORD(wParam) == 0 && LOWORD(wParam) == IDOK &&
      CWnd::FromHandle(hWnd) != nullptr) {
    // The dialog keeps the current directory on the folder it shows.
    char directory[MAX_PATH];
    DWORD length = ::GetCurrentDirectoryA(MAX_PATH, directory);
    CFolderDialog* picker = FindPicker(hWnd);
    // A directory that does not fit the buffer (or cannot be read) is no
    // answer: the picker ends as Cancel does, and the field keeps its text
    // rather than receiving a cut, empty or made-up path.
    if (picker == nullptr || picker->m_pstrResult == nullptr || length == 0 || length >= MAX_PATH) {
      return ::CallWindowProcA(g_pfnPrevFrameProc, hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    }
    *picker->m_pstrResult = directory;
    ::EndDialog(hWnd, IDOK);
    // Not passed on: the dialog's own OK handling would look for a file.
    return 0;
  }
  return ::CallWindowProcA(g_pfnPrevFrameProc, hWnd, message, wParam, lParam);
}
