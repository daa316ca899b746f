// The framework's text string: an owned, counted string of code page 1252 bytes. All counts are
// in bytes. Running out of memory while a text is built ends the process (AfxThrowMemoryException).
#pragma once

#include "platform/windows.h"

class CString {
 public:
  CString();
  CString(const CString& other);
  CString(LPCTSTR text);  // NOLINT(google-explicit-constructor): the framework converts freely
  CString(LPCTSTR text, int length);
  ~CString();

  CString& operator=(const CString& other);
  CString& operator=(LPCTSTR text);
  CString& operator+=(const CString& other);
  CString& operator+=(LPCTSTR text);
  CString& operator+=(TCHAR ch);

  int GetLength() const { return length_; }
  BOOL IsEmpty() const { return length_ == 0; }
  void Empty();
  TCHAR GetAt(int index) const { return data_[index]; }
  TCHAR operator[](int index) const { return data_[index]; }
  operator LPCTSTR() const { return data_; }  // NOLINT(google-explicit-constructor)

  /// The first `count` characters; below zero gives the empty text, above the length the whole.
  CString Left(int count) const;
  /// The last `count` characters, with the same rules as Left.
  CString Right(int count) const;
  /// `count` characters from `first` (clamped to the text).
  CString Mid(int first, int count) const;
  CString Mid(int first) const;

  /// Byte-wise comparison with `text`: <0, 0, >0.
  int Compare(LPCTSTR text) const;
  /// Upper-cases in place with the system's mapping (CharUpperA).
  void MakeUpper();
  /// Loads string-table row `id` of any length; a missing row gives the empty text and FALSE.
  BOOL LoadString(UINT id);

  /// A writable buffer of at least `min_length` characters plus the terminating zero.
  LPTSTR GetBuffer(int min_length);
  /// Takes the text up to `new_length` (or its first zero byte when -1) as the new content.
  void ReleaseBuffer(int new_length = -1);

  friend CString operator+(const CString& a, const CString& b);
  friend CString operator+(const CString& a, LPCTSTR b);
  friend CString operator+(LPCTSTR a, const CString& b);
  friend CString operator+(const CString& a, TCHAR b);

 private:
  void Assign(const char* text, int length);
  void Append(const char* text, int length);

  char* data_;
  int length_ = 0;
  int capacity_ = 0;
};

bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, LPCTSTR b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, LPCTSTR b);
