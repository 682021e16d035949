#include "framework/gdi.h"

#include <map>
#include <memory>

#include "framework/wnd.h"

BOOL CGdiObject::Attach(HGDIOBJ object) {
  if (object == nullptr) return FALSE;
  DeleteObject();
  m_hObject = object;
  return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
  HGDIOBJ object = m_hObject;
  m_hObject = nullptr;
  return object;
}

BOOL CGdiObject::DeleteObject() {
  if (m_hObject == nullptr) return FALSE;
  BOOL deleted = ::DeleteObject(m_hObject);
  m_hObject = nullptr;
  return deleted;
}

BOOL CFont::CreateFont(int height, int width, int escapement, int orientation, int weight,
                       BYTE italic, BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision,
                       BYTE clipPrecision, BYTE quality, BYTE pitchAndFamily, LPCSTR faceName) {
  return Attach(::CreateFontA(height, width, escapement, orientation, weight, italic, underline,
                              strikeOut, charSet, outPrecision, clipPrecision, quality,
                              pitchAndFamily, faceName));
}

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
  return m_hDC != nullptr ? ::DrawIcon(m_hDC, x, y, icon) : FALSE;
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd != nullptr ? wnd->m_hWnd : nullptr) {
  if (m_hWnd != nullptr) m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC() {
  if (m_hWnd != nullptr) ::EndPaint(m_hWnd, &m_ps);
}

CMenu* CMenu::FromHandle(HMENU menu) {
  if (menu == nullptr) return nullptr;
  // Wrappers live until their menu is gone; menus the tool sees are few.
  static std::map<HMENU, std::unique_ptr<CMenu>> wrappers;
  auto found = wrappers.find(menu);
  if (found != wrappers.end()) return found->second.get();
  for (auto it = wrappers.begin(); it != wrappers.end();) {
    it = ::IsMenu(it->first) ? std::next(it) : wrappers.erase(it);
  }
  auto wrapper = std::make_unique<CMenu>();
  wrapper->m_hMenu = menu;
  CMenu* result = wrapper.get();
  wrappers.emplace(menu, std::move(wrapper));
  return result;
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR idNewItem, LPCSTR newItem) {
  return m_hMenu != nullptr ? ::AppendMenuA(m_hMenu, flags, idNewItem, newItem) : FALSE;
}
