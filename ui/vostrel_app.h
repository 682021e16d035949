// The application object: shows the main dialog modally and ends the
// program when it closes.
#pragma once

#include "framework/framework.h"

class CVostrelApp : public CWinApp {
 public:
  CVostrelApp();
  ~CVostrelApp() override;

  // Runs the main dialog; returns FALSE so the program ends without a
  // message loop of its own.
  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

extern CVostrelApp theApp;
