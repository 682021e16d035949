#include "ui/vostrel_app.h"

#include <commctrl.h>

#include "ui/vostrel_dlg.h"

// clang-format off
BEGIN_MESSAGE_MAP(CVostrelApp, CWinApp)
  ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()
// clang-format on

CVostrelApp theApp;

// No name is passed: the framework names the application after the
// executable, "Vostrel", which captions the message boxes.
CVostrelApp::CVostrelApp() = default;

CVostrelApp::~CVostrelApp() = default;

BOOL CVostrelApp::InitInstance() {
  ::InitCommonControls();
  CWinApp::InitInstance();
  AfxEnableControlContainer();
  // The tool keeps no settings; the key is named and nothing is stored.
  SetRegistryKey("Talvor");

  CVostrelDlg dialog;
  m_pMainWnd = &dialog;
  // Every way of closing the dialog ends the program the same way.
  dialog.DoModal();
  return FALSE;
}
