// CString's storage: construction, assignment, concatenation and comparison.
//
// A text that fits the room inside the object owns nothing, so that the many empty values a
// program holds and the short names a directory listing keeps cost one allocation at most: the
// object's own. Every change that needs more room builds the new buffer completely before the old
// storage is released or overwritten, so a source that lies inside the string itself stays valid
// while it is copied.

#include "framework/cstring.h"

#include <climits>
#include <cstring>
#include <new>

#include "framework/cstring_buffer.h"
#include "framework/winapp.h"

namespace tvx::framework {

char* AllocateText(int capacity) {
  // The length and its terminating zero must both be countable in an int.
  if (capacity < 0 || capacity >= INT_MAX) AfxThrowMemoryException();
  char* buffer = new (std::nothrow) char[static_cast<size_t>(capacity) + 1];
  if (buffer == nullptr) AfxThrowMemoryException();
  return buffer;
}

int SumOfLengths(int a, int b) {
  if (a > INT_MAX - 1 - b) AfxThrowMemoryException();
  return a + b;
}

int TextLength(const char* text) {
  if (text == nullptr) return 0;
  size_t length = std::strlen(text);
  if (length >= static_cast<size_t>(INT_MAX)) AfxThrowMemoryException();
  return static_cast<int>(length);
}

}  // namespace tvx::framework

using tvx::framework::AllocateText;
using tvx::framework::SumOfLengths;
using tvx::framework::TextLength;

// A short name held through a pointer must fit one small heap block.
static_assert(sizeof(CString) <= 24);

CString::CString() = default;

CString::CString(const CString& other) {
  Assign(other.Data(), other.length_);
}

CString::CString(LPCTSTR text) {
  Assign(text, TextLength(text));
}

CString::CString(LPCTSTR text, int length) {
  Assign(text, text == nullptr || length < 0 ? 0 : length);
}

CString::~CString() {
  if (!IsInline()) delete[] heap_;
}

CString& CString::operator=(const CString& other) {
  Assign(other.Data(), other.length_);
  return *this;
}

CString& CString::operator=(LPCTSTR text) {
  Assign(text, TextLength(text));
  return *this;
}

CString& CString::operator+=(const CString& other) {
  Append(other.Data(), other.length_);
  return *this;
}

CString& CString::operator+=(LPCTSTR text) {
  Append(text, TextLength(text));
  return *this;
}

CString& CString::operator+=(TCHAR ch) {
  Append(&ch, 1);
  return *this;
}

void CString::Empty() {
  if (!IsInline()) delete[] heap_;
  capacity_ = kInlineCapacity;
  length_ = 0;
  inline_[0] = '\0';
}

void CString::TakeBuffer(char* buffer, int capacity) {
  if (!IsInline()) delete[] heap_;
  heap_ = buffer;
  capacity_ = capacity;
}

void CString::Assign(const char* text, int length) {
  if (length == 0) {
    Empty();
    return;
  }
  if (length <= capacity_) {
    std::memmove(Data(), text, static_cast<size_t>(length));
  } else {
    char* buffer = AllocateText(length);
    std::memcpy(buffer, text, static_cast<size_t>(length));
    TakeBuffer(buffer, length);
  }
  length_ = length;
  Data()[length_] = '\0';
}

void CString::Append(const char* text, int length) {
  if (length == 0) return;
  int total = SumOfLengths(length_, length);
  if (total <= capacity_) {
    std::memmove(Data() + length_, text, static_cast<size_t>(length));
  } else {
    char* buffer = AllocateText(total);
    std::memcpy(buffer, Data(), static_cast<size_t>(length_));
    std::memcpy(buffer + length_, text, static_cast<size_t>(length));
    TakeBuffer(buffer, total);
  }
  length_ = total;
  Data()[length_] = '\0';
}

CString operator+(const CString& a, const CString& b) {
  CString result(a);
  result += b;
  return result;
}

CString operator+(const CString& a, LPCTSTR b) {
  CString result(a);
  result += b;
  return result;
}

CString operator+(LPCTSTR a, const CString& b) {
  CString result(a);
  result += b;
  return result;
}

CString operator+(const CString& a, TCHAR b) {
  CString result(a);
  result += b;
  return result;
}

int CString::Compare(LPCTSTR text) const {
  // strcmp compares the bytes as unsigned char, which is the byte-wise order wanted here.
  return std::strcmp(Data(), text == nullptr ? "" : text);
}

bool operator==(const CString& a, const CString& b) {
  return a.Compare(b) == 0;
}
bool operator==(const CString& a, LPCTSTR b) {
  return a.Compare(b) == 0;
}
bool operator!=(const CString& a, const CString& b) {
  return a.Compare(b) != 0;
}
bool operator!=(const CString& a, LPCTSTR b) {
  return a.Compare(b) != 0;
}
