#include "framework/win_app.h"

#include <string>

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

// clang-format off
BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()
// clang-format on

namespace {

CWinApp* g_app = nullptr;
HINSTANCE g_instance = nullptr;
bool g_controlContainerEnabled = false;

}  // namespace

CWinApp::CWinApp(LPCSTR appName) {
  if (appName != nullptr) {
    m_strAppName = appName;
    m_pszAppName = m_strAppName;
  }
  // The program holds exactly one application object; the entry point finds
  // it here.
  if (g_app == nullptr) g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

void CWinApp::SetUpNames(HINSTANCE instance) {
  m_hInstance = instance;
  if (m_pszAppName != nullptr) return;
  if (!m_strAppName.LoadString(AFX_IDS_APP_TITLE)) {
    // No name given and none in the resources: the executable's file name
    // without its extension.
    char path[MAX_PATH + 1] = {};
    DWORD length = ::GetModuleFileNameA(instance, path, MAX_PATH);
    std::string name(path, length);
    std::string::size_type slash = name.find_last_of("\\/:");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    std::string::size_type dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    m_strAppName = name;
  }
  m_pszAppName = m_strAppName;
}

BOOL CWinApp::InitApplication() { return TRUE; }

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run() {
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return ExitInstance();
}

int CWinApp::ExitInstance() { return 0; }

void CWinApp::OnHelp() {}

void CWinApp::SetRegistryKey(LPCSTR company) {
  m_strRegistryKey = company;
  m_pszRegistryKey = m_strRegistryKey;
}

HICON CWinApp::LoadIcon(UINT id) const {
  return ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id));
}

void CWinApp::DoWaitCursor(int change) {
  m_nWaitCursorCount += change;
  if (m_nWaitCursorCount > 0) {
    HCURSOR previous = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
    if (change > 0 && m_nWaitCursorCount == 1) m_hcurWaitCursorRestore = previous;
  } else {
    m_nWaitCursorCount = 0;
    ::SetCursor(m_hcurWaitCursorRestore != nullptr ? m_hcurWaitCursorRestore
                                                   : ::LoadCursorA(nullptr, IDC_ARROW));
  }
}

CWaitCursor::CWaitCursor() {
  if (CWinApp* app = AfxGetApp()) app->DoWaitCursor(1);
}

CWaitCursor::~CWaitCursor() {
  if (CWinApp* app = AfxGetApp()) app->DoWaitCursor(-1);
}

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app != nullptr ? g_app->m_pMainWnd : nullptr; }

HINSTANCE AfxGetInstanceHandle() {
  return g_instance != nullptr ? g_instance : ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

int AfxMessageBox(LPCSTR text, UINT type, UINT) {
  if ((type & MB_ICONMASK) == 0) {
    switch (type & MB_TYPEMASK) {
      case MB_OK:
      case MB_OKCANCEL:
        type |= MB_ICONEXCLAMATION;
        break;
      case MB_YESNO:
      case MB_YESNOCANCEL:
        type |= MB_ICONQUESTION;
        break;
      default:
        break;
    }
  }
  LPCSTR caption = g_app != nullptr && g_app->m_pszAppName != nullptr ? g_app->m_pszAppName : "";
  return ::MessageBoxA(CWnd::GetSafeOwner(nullptr), text, caption, type);
}

void AfxReportException(const char* what) {
  std::string text = "The operation could not be completed";
  text += what != nullptr && *what != '\0' ? std::string(": ") + what : std::string(".");
  AfxMessageBox(text.c_str(), MB_OK | MB_ICONSTOP);
}

void AfxEnableControlContainer() { g_controlContainerEnabled = true; }

bool AfxControlContainerEnabled() { return g_controlContainerEnabled; }

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return -1;
  g_instance = instance;
  app->SetUpNames(instance);
  int exitCode = -1;
  AfxCallReportingExceptions([&] {
    // InitInstance returning FALSE ends the program without a message loop.
    if (!app->InitApplication() || !app->InitInstance()) {
      exitCode = app->ExitInstance();
    } else {
      exitCode = app->Run();
    }
  });
  return exitCode;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand) {
  return AfxWinMain(instance, previous, commandLine, showCommand);
}
