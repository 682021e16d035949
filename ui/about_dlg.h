// The About box: the template IDD_ABOUTBOX with the framework's defaults.
#pragma once

#include "framework/framework.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();

  DECLARE_MESSAGE_MAP()
};
