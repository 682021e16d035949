// The folder picker: the system's Open dialog turned into a folder chooser.
// Select answers with the folder the dialog shows, which is the process's
// current directory while the dialog runs.
#pragma once

#include "framework/framework.h"

class CFolderDialog : public CFileDialog {
  DECLARE_DYNAMIC(CFolderDialog)

 public:
  // `result` receives the picked folder; it is owned by the caller and must
  // outlive the modal run.
  explicit CFolderDialog(CString* result);
  ~CFolderDialog() override;

  CString* m_pstrResult;

  DECLARE_MESSAGE_MAP()

  // Hides the file controls, puts "Select" beside Cancel, lets the list take
  // the freed room, sets the caption and takes over the frame's procedure.
  void OnInitDone() override;
};

// The frame's procedure before the picker replaced it. One slot for the whole
// process: only one picker can be open, since the main dialog is disabled
// while it runs.
extern WNDPROC g_pfnPrevFrameProc;

// Answers Select with the current directory; everything else goes on to the
// frame's previous procedure.
LRESULT CALLBACK FolderFrameProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
