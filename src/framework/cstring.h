// The framework's text string: an owned, counted string of code page 1252 bytes. All counts are
// in bytes. Running out of memory while a text is built ends the process (AfxThrowMemoryException).
// A text of up to 15 bytes lives inside the object itself, so a short name costs no allocation of
// its own; the pointer operator LPCTSTR gives is then into the object.
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
  TCHAR GetAt(int index) const { return Data()[index]; }
  TCHAR operator[](int index) const { return Data()[index]; }
  operator LPCTSTR() const { return Data(); }  // NOLINT(google-explicit-constructor)

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

  /// A writable buffer of at least `min_length` characters plus the terminating zero; it stays
  /// valid until ReleaseBuffer or the next change.
  LPTSTR GetBuffer(int min_length);
  /// Takes the text up to `new_length` (or its first zero byte when -1) as the new content.
  void ReleaseBuffer(int new_length = -1);

  friend CString operator+(const CString& a, const CString& b);
  friend CString operator+(const CString& a, LPCTSTR b);
  friend CString operator+(LPCTSTR a, const CString& b);
  friend CString operator+(const CString& a, TCHAR b);

 private:
  // The room inside the object, not counting the terminating zero. Any capacity above it means
  // the text is on the heap; no pointer to the inside is ever stored, so copies need no fixing.
  static constexpr int kInlineCapacity = 15;

  bool IsInline() const { return capacity_ <= kInlineCapacity; }
  const char* Data() const { return IsInline() ? inline_ : heap_; }
  char* Data() { return IsInline() ? inline_ : heap_; }
  /// Frees the heap text, if any, and makes `buffer` of `capacity` characters the storage.
  void TakeBuffer(char* buffer, int capacity);
  void Assign(const char* text, int length);
  void Append(const char* text, int length);

  union {
    char* heap_;
    // Zeroed so that ReleaseBuffer never reads a byte nobody wrote.
    char inline_[kInlineCapacity + 1] = {};
  };
  int length_ = 0;
  int capacity_ = kInlineCapacity;
};

bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, LPCTSTR b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, LPCTSTR b);
