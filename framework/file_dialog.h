// CFileDialog: the system's Explorer-style Open (or Save As) dialog with a
// hook. The object is bound to the dialog's child window, so its message map
// sees the dialog's notifications; OnInitDone runs once the dialog has
// finished initialising.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commdlg.h>

#include <string>

#include "framework/dialog.h"

class CFileDialog : public CDialog {
  DECLARE_DYNAMIC(CFileDialog)

 public:
  // filter: pairs of description and pattern separated by '|', ending in "||".
  explicit CFileDialog(BOOL openFileDialog, LPCSTR defaultExtension = nullptr,
                       LPCSTR fileName = nullptr,
                       DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       LPCSTR filter = nullptr, CWnd* parent = nullptr, DWORD size = 0);
  ~CFileDialog() override = default;

  // IDOK when the user confirmed a file, IDCANCEL otherwise.
  INT_PTR DoModal() override;

  // The full path the dialog returned.
  CString GetPathName() const;

  // For use while the dialog runs (from OnInitDone on): hide a control of
  // the dialog, or set its text. A control the dialog lacks is ignored.
  void HideControl(int nID);
  void SetControlText(int nID, LPCSTR text);

  OPENFILENAMEA m_ofn{};

 protected:
  virtual void OnInitDone();
  BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  BOOL m_bOpenFileDialog;
  std::string m_strFilter;  // '\0'-separated, as the system reads it
  std::string m_strDefaultExtension;
  char m_szFileName[MAX_PATH] = {};
  char m_szFileTitle[64] = {};

  friend UINT_PTR CALLBACK AfxCommDlgProc(HWND, UINT, WPARAM, LPARAM);
};

// The hook procedure of every framework file dialog.
UINT_PTR CALLBACK AfxCommDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
