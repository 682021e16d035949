#include "framework/cstring.h"

#include "framework/win_app.h"

BOOL CString::LoadString(UINT id) {
  // A string resource holds at most 4097 characters; read it whole.
  char buffer[4100];
  int length = ::LoadStringA(AfxGetResourceHandle(), id, buffer, sizeof(buffer));
  text_.assign(buffer, length > 0 ? static_cast<size_t>(length) : 0);
  return length > 0;
}
