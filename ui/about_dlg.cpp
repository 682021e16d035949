#include "ui/about_dlg.h"

#include "res/resource.h"

// clang-format off
BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()
// clang-format on

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
