// Window objects: CCmdTarget (message-map dispatch), CWnd (a window handle
// with a handle map, subclassing and default processing) and the two control
// classes the tool binds, CEdit and CButton.
#pragma once

#include <windows.h>

#include "framework/cstring.h"
#include "framework/object.h"

class CFont;
class CMenu;

class CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)

 public:
  // Routes a WM_COMMAND (notification code, id) through this object's
  // message map chain. True when a handler ran.
  virtual BOOL OnCmdMsg(UINT nID, int nCode);

  void BeginWaitCursor();
  void EndWaitCursor();

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;

  // The entry of this object's map chain for `message` (and, for WM_COMMAND,
  // notification code and id), or null.
  const AFX_MSGMAP_ENTRY* FindEntry(UINT message, UINT code, UINT id) const;

  friend class CWnd;
};

class CWnd : public CCmdTarget {
  DECLARE_DYNAMIC(CWnd)

 public:
  CWnd() = default;
  ~CWnd() override;

  HWND m_hWnd = nullptr;
  operator HWND() const { return m_hWnd; }  // NOLINT: as the framework's callers expect
  HWND GetSafeHwnd() const { return m_hWnd; }

  // The object bound to `hWnd`: the permanent one (a window this program
  // subclassed or attached), else a temporary wrapper that lives as long as
  // the window. Null for a null handle.
  static CWnd* FromHandle(HWND hWnd);
  // Only a permanent object, else null.
  static CWnd* FromHandlePermanent(HWND hWnd);

  BOOL Attach(HWND hWnd);
  HWND Detach();
  // Routes the window's messages through this object's message map; messages
  // it does not handle go on to the window's previous procedure.
  BOOL SubclassWindow(HWND hWnd);

  // The window's child with control id `nID`, or null when there is none.
  CWnd* GetDlgItem(int nID) const;
  int GetDlgCtrlID() const;
  CWnd* GetParent() const;

  void SetWindowText(LPCSTR text);
  void GetWindowText(CString& text) const;
  int GetWindowTextLength() const;
  void GetWindowRect(LPRECT rect) const;
  void GetClientRect(LPRECT rect) const;
  void ScreenToClient(LPRECT rect) const;
  BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
  BOOL EnableWindow(BOOL enable = TRUE);
  BOOL IsIconic() const;
  BOOL RedrawWindow(LPCRECT updateRect = nullptr, HRGN updateRegion = nullptr,
                    UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  HICON SetIcon(HICON icon, BOOL bigIcon);
  void SetFont(CFont* font, BOOL redraw = TRUE);
  CMenu* GetSystemMenu(BOOL revert) const;
  void CenterWindow(HWND alternateOwner = nullptr);

  // The window procedure every framework window runs through.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  // The window's owner for a modal window or message box that names none: the
  // given parent, else the application's main window, taken at its top level
  // and its last active popup. Null when there is none.
  static HWND GetSafeOwner(CWnd* parent);

 protected:
  // Passes the message being handled on to the window's previous procedure.
  LRESULT Default();
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  // Looks `message` up in the message map chain; true when a handler ran.
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
  // After the window's last message: the object is no longer bound to it.
  virtual void PostNcDestroy() {}

  // Default handlers for the messages the tool's maps bind.
  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();

  WNDPROC m_pfnSuper = nullptr;  // the procedure the window had before subclassing

 private:
  void OnNcDestroyed();

  friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

class CEdit : public CWnd {
  DECLARE_DYNAMIC(CEdit)
};

class CButton : public CWnd {
  DECLARE_DYNAMIC(CButton)

 public:
  int GetCheck() const;
  void SetCheck(int check);
};
