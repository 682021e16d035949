// CWinApp: the one application object. The program defines exactly one, as a
// global; the framework's entry point finds it, calls InitInstance and ends
// the process when that returns FALSE (or after Run otherwise).
#pragma once

#include <windows.h>

#include <exception>

#include "framework/cstring.h"
#include "framework/wnd.h"

// The framework's Help command, raised by F1 in the main window.
constexpr UINT ID_HELP = 0xE146;
// The string that, when the resources hold it, names the application.
constexpr UINT AFX_IDS_APP_TITLE = 0xE000;

class CWinApp : public CCmdTarget {
  DECLARE_DYNAMIC(CWinApp)

 public:
  // appName null: the title string of the resources, else the executable's
  // file name without its extension.
  explicit CWinApp(LPCSTR appName = nullptr);
  ~CWinApp() override;

  virtual BOOL InitApplication();
  virtual BOOL InitInstance();
  virtual int Run();
  virtual int ExitInstance();

  // The Help command's default handler. The tool has no help file, so it
  // shows nothing.
  void OnHelp();

  HICON LoadIcon(UINT id) const;
  void DoWaitCursor(int change);  // +1 on, -1 off
  bool IsWaitCursorOn() const { return m_nWaitCursorCount > 0; }

  LPCSTR m_pszAppName = nullptr;
  LPCSTR m_pszRegistryKey = nullptr;
  HINSTANCE m_hInstance = nullptr;
  // The main window, cleared when its window is destroyed.
  CWnd* m_pMainWnd = nullptr;

 protected:
  // Names the settings key. The tool keeps no settings, so nothing is read or
  // written under it.
  void SetRegistryKey(LPCSTR company);

 private:
  friend int AfxWinMain(HINSTANCE, HINSTANCE, LPSTR, int);
  void SetUpNames(HINSTANCE instance);

  CString m_strAppName;
  CString m_strRegistryKey;
  int m_nWaitCursorCount = 0;
  HCURSOR m_hcurWaitCursorRestore = nullptr;

  DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// A message box owned by the active window of the application, captioned
// with the application's name. Without an icon in `type`, OK and OK/Cancel
// boxes get the exclamation icon.
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);

// Tells the person that an operation ended by an exception did not complete
// (`what` may be null).
void AfxReportException(const char* what);

// Runs `work` where the system calls into the program (a window or dialog
// procedure, the entry point), which no exception may cross: one that
// `work` throws ends here and is reported. False when that happened.
template <typename Work>
bool AfxCallReportingExceptions(Work&& work) {
  try {
    work();
    return true;
  } catch (const std::exception& error) {
    AfxReportException(error.what());
  } catch (...) {
    AfxReportException(nullptr);
  }
  return false;
}

// The tool's dialogs hold only standard controls; this only records that
// control containment was asked for.
void AfxEnableControlContainer();
bool AfxControlContainerEnabled();

// The framework's entry point, called by WinMain.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

// The wait (hourglass) cursor for the life of the object.
class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};
