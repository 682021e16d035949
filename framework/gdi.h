// Drawing and menu objects: CFont (an owned font handle), CDC and CPaintDC
// (a paint context for the duration of one WM_PAINT), and CMenu (a borrowed
// menu handle, such as a window's system menu).
#pragma once

#include <windows.h>

#include "framework/object.h"

class CWnd;

class CGdiObject : public CObject {
 public:
  ~CGdiObject() override { DeleteObject(); }

  HGDIOBJ m_hObject = nullptr;

  BOOL Attach(HGDIOBJ object);
  HGDIOBJ Detach();
  BOOL DeleteObject();
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
};

class CFont : public CGdiObject {
 public:
  operator HFONT() const { return static_cast<HFONT>(m_hObject); }  // NOLINT

  // CreateFontA with the given fields; the font object owns the result.
  BOOL CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic,
                  BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision,
                  BYTE clipPrecision, BYTE quality, BYTE pitchAndFamily, LPCSTR faceName);
};

class CDC : public CObject {
 public:
  HDC m_hDC = nullptr;
  operator HDC() const { return m_hDC; }  // NOLINT
  HDC GetSafeHdc() const { return m_hDC; }

  BOOL DrawIcon(int x, int y, HICON icon);
};

// BeginPaint on construction, EndPaint on destruction.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC() override;

  PAINTSTRUCT m_ps{};

 private:
  HWND m_hWnd;
};

class CMenu : public CObject {
 public:
  HMENU m_hMenu = nullptr;
  operator HMENU() const { return m_hMenu; }  // NOLINT

  // A wrapper for a menu the program does not own (it is never destroyed
  // through the wrapper); null for a null handle.
  static CMenu* FromHandle(HMENU menu);

  BOOL AppendMenu(UINT flags, UINT_PTR idNewItem = 0, LPCSTR newItem = nullptr);
};
