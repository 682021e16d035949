// The root of the framework's classes: minimal run-time class information
// (name, size, base) so that a window object found by handle can be asked
// what it is, and the message maps that bind window messages and control
// notifications to On... handlers.
#pragma once

#include <windows.h>

class CObject;

struct CRuntimeClass {
  const char* m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;                     // 0xFFFF: not serialisable
  CObject* (*m_pfnCreateObject)();    // null: not creatable by name
  const CRuntimeClass* m_pBaseClass;  // null for CObject

  bool IsDerivedFrom(const CRuntimeClass* base) const;
};

class CObject {
 public:
  virtual const CRuntimeClass* GetRuntimeClass() const;
  virtual ~CObject() = default;

  bool IsKindOf(const CRuntimeClass* runtimeClass) const {
    return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
  }

  static const CRuntimeClass classCObject;

 protected:
  CObject() = default;
  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name)             \
 public:                                        \
  static const CRuntimeClass class##class_name; \
  const CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                    \
  const CRuntimeClass class_name::class##class_name = {                   \
      #class_name, static_cast<int>(sizeof(class_name)), 0xFFFF, nullptr, \
      RUNTIME_CLASS(base_class_name)};                                    \
  const CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

// ---------------------------------------------------------------------------
// Message maps

class CCmdTarget;

// One binding. For WM_COMMAND entries, nCode is the notification code
// (0 for a menu command or BN_CLICKED) and nID..nLastID the control ids;
// other messages match on nMessage alone. The handler gets the target and
// the message's parameters and returns the message's result.
struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;
  UINT nID;
  UINT nLastID;
  LRESULT (*pfn)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();  // null at the root
  const AFX_MSGMAP_ENTRY* lpEntries;     // ends with an entry whose pfn is null
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
    using ThisClass = theClass;                                                     \
    using TheBaseClass = baseClass;                                                 \
    static_cast<void>(sizeof(ThisClass));                                           \
    static const AFX_MSGMAP_ENTRY entries[] = {
// clang-format off
#define END_MESSAGE_MAP()                                                                   \
      {0, 0, 0, 0, nullptr}};                                                               \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &entries[0]};   \
    return &messageMap;                                                                     \
  }
// clang-format on

#define AFX_MSG_TARGET(target) (static_cast<ThisClass*>(target))

// A menu or accelerator command, or a notification-free WM_COMMAND.
#define ON_COMMAND(id, memberFxn)                               \
  {WM_COMMAND, 0, static_cast<UINT>(id), static_cast<UINT>(id), \
   [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {          \
     (AFX_MSG_TARGET(target)->*(memberFxn))();                  \
     return 0;                                                  \
   }},

// A control notification sent through WM_COMMAND.
#define ON_CONTROL(notifyCode, id, memberFxn)                                               \
  {WM_COMMAND, static_cast<UINT>(notifyCode), static_cast<UINT>(id), static_cast<UINT>(id), \
   [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {                                      \
     (AFX_MSG_TARGET(target)->*(memberFxn))();                                              \
     return 0;                                                                              \
   }},

#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_EN_KILLFOCUS(id, memberFxn) ON_CONTROL(EN_KILLFOCUS, id, memberFxn)

#define ON_WM_SYSCOMMAND()                                                                   \
  {WM_SYSCOMMAND, 0, 0, 0, [](CCmdTarget* target, WPARAM wParam, LPARAM lParam) -> LRESULT { \
     AFX_MSG_TARGET(target)->OnSysCommand(static_cast<UINT>(wParam), lParam);                \
     return 0;                                                                               \
   }},

#define ON_WM_PAINT()                                                     \
  {WM_PAINT, 0, 0, 0, [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT { \
     AFX_MSG_TARGET(target)->OnPaint();                                   \
     return 0;                                                            \
   }},

#define ON_WM_QUERYDRAGICON()                                                     \
  {WM_QUERYDRAGICON, 0, 0, 0, [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT { \
     return reinterpret_cast<LRESULT>(AFX_MSG_TARGET(target)->OnQueryDragIcon()); \
   }},
