// CString: the framework's narrow string. Texts are in the system code page,
// as every window text and path of the tool is.
#pragma once

#include <windows.h>

#include <string>

class CString {
 public:
  CString() = default;
  CString(const char* text) : text_(text != nullptr ? text : "") {}  // NOLINT: implicit as in use
  CString(const std::string& text) : text_(text) {}                  // NOLINT

  CString& operator=(const char* text) {
    text_ = text != nullptr ? text : "";
    return *this;
  }
  CString& operator=(const std::string& text) {
    text_ = text;
    return *this;
  }
  CString& operator+=(const char* text) {
    text_ += text != nullptr ? text : "";
    return *this;
  }

  operator const char*() const { return text_.c_str(); }  // NOLINT: the framework's LPCTSTR view
  const std::string& str() const { return text_; }

  int GetLength() const { return static_cast<int>(text_.size()); }
  bool IsEmpty() const { return text_.empty(); }
  void Empty() { text_.clear(); }

  // The string resource `id` of the program. False (and empty) when it is
  // missing or empty.
  BOOL LoadString(UINT id);

  friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }
  friend bool operator!=(const CString& a, const CString& b) { return a.text_ != b.text_; }

 private:
  std::string text_;
};
