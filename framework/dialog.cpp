#include "framework/dialog.h"

#include "framework/win_app.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

// clang-format off
BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, &CDialog::OnOK)
  ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()
// clang-format on

void DDX_Control(CDataExchange* dx, int nIDC, CWnd& control) {
  if (control.m_hWnd != nullptr) return;  // bound by an earlier exchange
  HWND item = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, nIDC);
  if (item != nullptr) control.SubclassWindow(item);
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

INT_PTR CDialog::DoModal() {
  // The system's modal loop disables the owner while the dialog runs.
  return ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate),
                           GetSafeOwner(m_pParentWnd), AfxDlgProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(int result) {
  if (m_hWnd != nullptr) ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnInitDialog() {
  // Binds the control members; no values are exchanged at this point.
  UpdateData(FALSE);
  return TRUE;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCmdMsg(UINT nID, int nCode) {
  if (CWnd::OnCmdMsg(nID, nCode)) return TRUE;
  // Commands the dialog does not handle (not control notifications, not
  // system commands) go on to the application, as Help does.
  if (nCode != 0 || nID >= 0xF000) return FALSE;
  CWinApp* app = AfxGetApp();
  return app != nullptr && app->OnCmdMsg(nID, nCode);
}

BOOL CDialog::HandleInitDialog(HWND hWnd) {
  // From here on every message of the dialog runs through the object first.
  if (!SubclassWindow(hWnd)) return TRUE;
  RECT before{};
  ::GetWindowRect(hWnd, &before);
  BOOL result = OnInitDialog();
  // A dialog that OnInitDialog did not place is centred on its owner.
  RECT after{};
  ::GetWindowRect(hWnd, &after);
  if (::EqualRect(&before, &after) && (::GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD) == 0) {
    CenterWindow();
  }
  if (result) {
    // The default focus, given as the dialog manager gives it when moving
    // between controls: a push button that takes the focus is also the
    // button Enter presses. (Some dialog managers only set the focus here,
    // and Enter would then end the dialog.)
    HWND first = ::GetNextDlgTabItem(hWnd, nullptr, FALSE);
    if (first != nullptr) {
      ::SendMessageA(hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
      result = FALSE;
    }
  }
  return result;
}

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  auto* dialog = reinterpret_cast<CDialog*>(lParam);
  if (dialog == nullptr) return TRUE;
  INT_PTR result = TRUE;
  if (AfxCallReportingExceptions([&] { result = dialog->HandleInitDialog(hWnd); })) return result;
  ::EndDialog(hWnd, -1);
  return TRUE;
}
