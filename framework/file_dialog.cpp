#include "framework/file_dialog.h"

#include <algorithm>

#include "framework/win_app.h"

IMPLEMENT_DYNAMIC(CFileDialog, CDialog)

CFileDialog::CFileDialog(BOOL openFileDialog, LPCSTR defaultExtension, LPCSTR fileName, DWORD flags,
                         LPCSTR filter, CWnd* parent, DWORD size)
    : CDialog(0, parent), m_bOpenFileDialog(openFileDialog) {
  m_ofn.lStructSize = size != 0 ? size : sizeof(OPENFILENAMEA);
  m_ofn.hInstance = AfxGetInstanceHandle();
  m_ofn.lpstrFile = m_szFileName;
  m_ofn.nMaxFile = sizeof(m_szFileName);
  m_ofn.lpstrFileTitle = m_szFileTitle;
  m_ofn.nMaxFileTitle = sizeof(m_szFileTitle);
  // Always the Explorer-style dialog with the framework's hook: the hook binds
  // this object to the dialog, which brings OnInitDone.
  m_ofn.Flags = flags | OFN_ENABLEHOOK | OFN_EXPLORER;
  m_ofn.lpfnHook = AfxCommDlgProc;
  m_ofn.lCustData = reinterpret_cast<LPARAM>(this);
  if (defaultExtension != nullptr) {
    m_strDefaultExtension = defaultExtension;
    m_ofn.lpstrDefExt = m_strDefaultExtension.c_str();
  }
  if (fileName != nullptr) ::lstrcpynA(m_szFileName, fileName, sizeof(m_szFileName));
  if (filter != nullptr) {
    m_strFilter = filter;
    std::replace(m_strFilter.begin(), m_strFilter.end(), '|', '\0');
    m_ofn.lpstrFilter = m_strFilter.c_str();
  }
}

INT_PTR CFileDialog::DoModal() {
  m_ofn.hwndOwner = GetSafeOwner(m_pParentWnd);
  BOOL confirmed = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
  return confirmed ? IDOK : IDCANCEL;
}

CString CFileDialog::GetPathName() const { return CString(m_szFileName); }

void CFileDialog::HideControl(int nID) {
  if (m_hWnd == nullptr) return;
  ::SendMessageA(::GetParent(m_hWnd), CDM_HIDECONTROL, static_cast<WPARAM>(nID), 0);
}

void CFileDialog::SetControlText(int nID, LPCSTR text) {
  if (m_hWnd == nullptr) return;
  ::SendMessageA(::GetParent(m_hWnd), CDM_SETCONTROLTEXT, static_cast<WPARAM>(nID),
                 reinterpret_cast<LPARAM>(text));
}

void CFileDialog::OnInitDone() {}

BOOL CFileDialog::OnNotify(WPARAM, LPARAM lParam, LRESULT* result) {
  const auto* notify = reinterpret_cast<const OFNOTIFYA*>(lParam);
  if (notify == nullptr || notify->hdr.code != CDN_INITDONE) return FALSE;
  OnInitDone();
  *result = 0;
  return TRUE;
}

UINT_PTR CALLBACK AfxCommDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return 0;
  // The dialog's child window: bind the object to it, so its notifications
  // reach the object's map from now on.
  const auto* ofn = reinterpret_cast<const OPENFILENAMEA*>(lParam);
  auto* dialog = ofn != nullptr ? reinterpret_cast<CFileDialog*>(ofn->lCustData) : nullptr;
  if (dialog != nullptr) dialog->SubclassWindow(hWnd);
  return TRUE;
}
