// CDialog: a dialog built from a template in the program's resources, run
// modally, with OnInitDialog, control binding through DoDataExchange and the
// default OK and Cancel handling.
#pragma once

#include <windows.h>

#include "framework/wnd.h"

class CDialog;

// The context of one data exchange: the dialog and the direction.
class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, BOOL saveAndValidate)
      : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

  CDialog* m_pDlgWnd;
  BOOL m_bSaveAndValidate;  // true: controls to members; false: members to controls
};

// Binds `control` to the dialog's control `nIDC` the first time it is called
// for that object: its messages then run through the framework. A control
// missing from the template leaves the object unbound (every call on it does
// nothing).
void DDX_Control(CDataExchange* dx, int nIDC, CWnd& control);

class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)

 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override = default;

  // Runs the dialog modally: its owner (the given parent, else the main
  // window) is disabled until it ends. The value given to EndDialog, or -1
  // when the dialog cannot be created.
  virtual INT_PTR DoModal();
  void EndDialog(int result);

  virtual BOOL OnInitDialog();
  BOOL UpdateData(BOOL saveAndValidate = TRUE);

  BOOL OnCmdMsg(UINT nID, int nCode) override;

 protected:
  virtual void DoDataExchange(CDataExchange* dx);
  virtual void OnOK();
  virtual void OnCancel();

  // Called on WM_INITDIALOG with the window that is being initialised.
  BOOL HandleInitDialog(HWND hWnd);

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

 private:
  friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);

  DECLARE_MESSAGE_MAP()
};

// The dialog procedure of every framework dialog: it attaches the object on
// WM_INITDIALOG and leaves every other message to the system's defaults (the
// object's own procedure has seen it first).
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
