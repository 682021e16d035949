#include "framework/wnd.h"

#include <map>
#include <memory>
#include <vector>

#include "framework/gdi.h"
#include "framework/win_app.h"

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)
IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)

namespace {

// Windows bound to framework objects for their whole life.
std::map<HWND, CWnd*>& PermanentMap() {
  static std::map<HWND, CWnd*> map;
  return map;
}

// Wrappers handed out by FromHandle for windows the program did not bind. A
// wrapper stays until its window is gone, so a caller may keep the pointer
// while the window exists.
std::map<HWND, std::unique_ptr<CWnd>>& TemporaryMap() {
  static std::map<HWND, std::unique_ptr<CWnd>> map;
  return map;
}

// The message the innermost AfxWndProc is handling, for Default().
MSG g_currentMessage{};

}  // namespace

// ---------------------------------------------------------------------------
// CCmdTarget

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP messageMap = {nullptr, &entries[0]};
  return &messageMap;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindEntry(UINT message, UINT code, UINT id) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfn != nullptr; ++entry) {
      if (entry->nMessage != message) continue;
      if (message != WM_COMMAND) return entry;
      if (entry->nCode == code && id >= entry->nID && id <= entry->nLastID) return entry;
    }
  }
  return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode) {
  const AFX_MSGMAP_ENTRY* entry = FindEntry(WM_COMMAND, static_cast<UINT>(nCode), nID);
  if (entry == nullptr) return FALSE;
  entry->pfn(this, MAKEWPARAM(nID, nCode), 0);
  return TRUE;
}

void CCmdTarget::BeginWaitCursor() {
  if (CWinApp* app = AfxGetApp()) app->DoWaitCursor(1);
}

void CCmdTarget::EndWaitCursor() {
  if (CWinApp* app = AfxGetApp()) app->DoWaitCursor(-1);
}

// ---------------------------------------------------------------------------
// CWnd: handle maps and binding

CWnd::~CWnd() {
  if (m_hWnd != nullptr) {
    // The object goes before its window: give the window its own procedure
    // back so no message reaches a destroyed object.
    if (m_pfnSuper != nullptr &&
        reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC)) == AfxWndProc) {
      ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    }
    Detach();
  }
  // The application's main-window reference never outlives the object, also
  // when its window was never created.
  CWinApp* app = AfxGetApp();
  if (app != nullptr && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  auto found = PermanentMap().find(hWnd);
  return found != PermanentMap().end() ? found->second : nullptr;
}

CWnd* CWnd::FromHandle(HWND hWnd) {
  if (hWnd == nullptr) return nullptr;
  if (CWnd* permanent = FromHandlePermanent(hWnd)) return permanent;
  auto& temporaries = TemporaryMap();
  auto found = temporaries.find(hWnd);
  if (found != temporaries.end()) return found->second.get();
  for (auto it = temporaries.begin(); it != temporaries.end();) {
    it = ::IsWindow(it->first) ? std::next(it) : temporaries.erase(it);
  }
  auto wrapper = std::make_unique<CWnd>();
  wrapper->m_hWnd = hWnd;
  CWnd* result = wrapper.get();
  temporaries.emplace(hWnd, std::move(wrapper));
  return result;
}

BOOL CWnd::Attach(HWND hWnd) {
  if (hWnd == nullptr || m_hWnd != nullptr || FromHandlePermanent(hWnd) != nullptr) return FALSE;
  PermanentMap()[hWnd] = this;
  m_hWnd = hWnd;
  return TRUE;
}

HWND CWnd::Detach() {
  HWND hWnd = m_hWnd;
  if (hWnd != nullptr) {
    auto found = PermanentMap().find(hWnd);
    if (found != PermanentMap().end() && found->second == this) PermanentMap().erase(found);
  }
  m_hWnd = nullptr;
  m_pfnSuper = nullptr;
  return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  if (!Attach(hWnd)) return FALSE;
  m_pfnSuper = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc)));
  if (m_pfnSuper == nullptr) {
    Detach();
    return FALSE;
  }
  return TRUE;
}

void CWnd::OnNcDestroyed() {
  HWND hWnd = m_hWnd;
  WNDPROC super = m_pfnSuper;
  if (super != nullptr &&
      reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(hWnd, GWLP_WNDPROC)) == AfxWndProc) {
    ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
  }
  Detach();
  CWinApp* app = AfxGetApp();
  if (app != nullptr && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
  PostNcDestroy();
}

// ---------------------------------------------------------------------------
// CWnd: message dispatch

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
  if (wnd == nullptr) return ::DefWindowProcA(hWnd, message, wParam, lParam);

  MSG previous = g_currentMessage;
  g_currentMessage = MSG{hWnd, message, wParam, lParam, 0, {0, 0}};
  LRESULT result = 0;
  // An exception ends here, and the person is told the operation did not
  // complete.
  AfxCallReportingExceptions([&] { result = wnd->WindowProc(message, wParam, lParam); });
  if (message == WM_NCDESTROY) wnd->OnNcDestroyed();
  g_currentMessage = previous;
  return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper != nullptr) return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
  if (m_hWnd == nullptr || g_currentMessage.hwnd != m_hWnd) return 0;
  return DefWindowProc(g_currentMessage.message, g_currentMessage.wParam, g_currentMessage.lParam);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_COMMAND:
      if (!OnCommand(wParam, lParam)) return FALSE;
      *result = 0;
      return TRUE;
    case WM_NOTIFY:
      return OnNotify(wParam, lParam, result);
    case WM_HELP:
      // F1 in a top-level window becomes the Help command of the main window,
      // which the application's map handles.
      if ((::GetWindowLongA(m_hWnd, GWL_STYLE) & WS_CHILD) == 0 && ::GetKeyState(VK_SHIFT) >= 0 &&
          ::GetKeyState(VK_CONTROL) >= 0 && ::GetKeyState(VK_MENU) >= 0) {
        if (CWnd* main = AfxGetMainWnd(); main != nullptr && main->m_hWnd != nullptr) {
          main->SendMessage(WM_COMMAND, ID_HELP, 0);
          *result = TRUE;
          return TRUE;
        }
      }
      break;
    case WM_SETCURSOR: {
      // While a wait cursor is on, every framework window shows it.
      CWinApp* app = AfxGetApp();
      if (app != nullptr && app->IsWaitCursorOn()) {
        ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
        *result = TRUE;
        return TRUE;
      }
      break;
    }
    default:
      break;
  }
  const AFX_MSGMAP_ENTRY* entry = FindEntry(message, 0, 0);
  if (entry == nullptr) return FALSE;
  *result = entry->pfn(this, wParam, lParam);
  return TRUE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) { return OnCmdMsg(LOWORD(wParam), HIWORD(wParam)); }

BOOL CWnd::OnNotify(WPARAM, LPARAM, LRESULT*) { return FALSE; }

void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }

void CWnd::OnPaint() { Default(); }

HCURSOR CWnd::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }

// ---------------------------------------------------------------------------
// CWnd: window operations. Each is harmless on an unbound object.

CWnd* CWnd::GetDlgItem(int nID) const {
  if (m_hWnd == nullptr) return nullptr;
  return FromHandle(::GetDlgItem(m_hWnd, nID));
}

int CWnd::GetDlgCtrlID() const { return m_hWnd != nullptr ? ::GetDlgCtrlID(m_hWnd) : 0; }

CWnd* CWnd::GetParent() const {
  return m_hWnd != nullptr ? FromHandle(::GetParent(m_hWnd)) : nullptr;
}

void CWnd::SetWindowText(LPCSTR text) {
  if (m_hWnd != nullptr) ::SetWindowTextA(m_hWnd, text);
}

void CWnd::GetWindowText(CString& text) const {
  if (m_hWnd == nullptr) {
    text.Empty();
    return;
  }
  int length = ::GetWindowTextLengthA(m_hWnd);
  std::vector<char> buffer(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  int copied = ::GetWindowTextA(m_hWnd, buffer.data(), static_cast<int>(buffer.size()));
  text = std::string(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

int CWnd::GetWindowTextLength() const {
  return m_hWnd != nullptr ? ::GetWindowTextLengthA(m_hWnd) : 0;
}

void CWnd::GetWindowRect(LPRECT rect) const {
  *rect = RECT{0, 0, 0, 0};
  if (m_hWnd != nullptr) ::GetWindowRect(m_hWnd, rect);
}

void CWnd::GetClientRect(LPRECT rect) const {
  *rect = RECT{0, 0, 0, 0};
  if (m_hWnd != nullptr) ::GetClientRect(m_hWnd, rect);
}

void CWnd::ScreenToClient(LPRECT rect) const {
  if (m_hWnd == nullptr) return;
  // Both corners, as MapWindowPoints does for a rectangle.
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<LPPOINT>(rect), 2);
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (m_hWnd == nullptr) return FALSE;
  return ::SetWindowPos(m_hWnd, insertAfter != nullptr ? insertAfter->m_hWnd : nullptr, x, y, cx,
                        cy, flags);
}

BOOL CWnd::EnableWindow(BOOL enable) {
  return m_hWnd != nullptr ? ::EnableWindow(m_hWnd, enable) : FALSE;
}

BOOL CWnd::IsIconic() const { return m_hWnd != nullptr && ::IsIconic(m_hWnd); }

BOOL CWnd::RedrawWindow(LPCRECT updateRect, HRGN updateRegion, UINT flags) {
  return m_hWnd != nullptr ? ::RedrawWindow(m_hWnd, updateRect, updateRegion, flags) : FALSE;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return m_hWnd != nullptr ? ::SendMessageA(m_hWnd, message, wParam, lParam) : 0;
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
  return reinterpret_cast<HICON>(
      SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

void CWnd::SetFont(CFont* font, BOOL redraw) {
  SendMessage(WM_SETFONT,
              reinterpret_cast<WPARAM>(font != nullptr ? font->GetSafeHandle() : nullptr), redraw);
}

CMenu* CWnd::GetSystemMenu(BOOL revert) const {
  return m_hWnd != nullptr ? CMenu::FromHandle(::GetSystemMenu(m_hWnd, revert)) : nullptr;
}

HWND CWnd::GetSafeOwner(CWnd* parent) {
  HWND owner = parent != nullptr ? parent->m_hWnd : nullptr;
  if (owner == nullptr) {
    CWnd* main = AfxGetMainWnd();
    owner = main != nullptr ? main->m_hWnd : nullptr;
  }
  if (owner == nullptr) return nullptr;
  while ((::GetWindowLongA(owner, GWL_STYLE) & WS_CHILD) != 0 && ::GetParent(owner) != nullptr) {
    owner = ::GetParent(owner);
  }
  // Without an explicit parent, a window opened from a nested modal window
  // belongs to that window.
  if (parent == nullptr) owner = ::GetLastActivePopup(owner);
  return owner;
}

void CWnd::CenterWindow(HWND alternateOwner) {
  if (m_hWnd == nullptr) return;
  HWND owner = alternateOwner != nullptr ? alternateOwner : ::GetWindow(m_hWnd, GW_OWNER);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoA(
      ::MonitorFromWindow(owner != nullptr ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
  RECT area = monitor.rcWork;
  RECT center = area;
  if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
    ::GetWindowRect(owner, &center);
  }
  RECT window{};
  ::GetWindowRect(m_hWnd, &window);
  int width = window.right - window.left;
  int height = window.bottom - window.top;
  int x = (center.left + center.right) / 2 - width / 2;
  int y = (center.top + center.bottom) / 2 - height / 2;
  // Keep the whole window on the work area where it fits.
  if (x + width > area.right) x = area.right - width;
  if (x < area.left) x = area.left;
  if (y + height > area.bottom) y = area.bottom - height;
  if (y < area.top) y = area.top;
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------------------
// Controls

int CButton::GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }

void CButton::SetCheck(int check) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
