// CString's storage: construction, assignment, concatenation and comparison.
//
// An empty string points at one shared zero byte and owns nothing, so that the many empty values
// a program holds (the application object's fields among them) cost no allocation. Every change
// that needs more room builds the new buffer completely before the old one is released, so a
// source that lies inside the string itself stays valid while it is copied.

#include "framework/cstring.h"

#include <climits>
#include <cstring>
#include <new>

#include "framework/cstring_buffer.h"
#include "framework/winapp.h"

namespace tvx::framework {

namespace {
char g_empty_text[1] = {'\0'};
}

char* EmptyText() {
  return g_empty_text;
}

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
using tvx::framework::EmptyText;
using tvx::framework::SumOfLengths;
using tvx::framework::TextLength;

CString::CString() : data_(EmptyText()) {}

CString::CString(const CString& other) : data_(EmptyText()) {
  Assign(other.data_, other.length_);
}

CString::CString(LPCTSTR text) : data_(EmptyText()) {
  Assign(text, TextLength(text));
}

CString::CString(LPCTSTR text, int length) : data_(EmptyText()) {
  Assign(text, text == nullptr || length < 0 ? 0 : length);
}

CString::~CString() {
  if (data_ != EmptyText()) delete[] data_;
}

CString& CString::operator=(const CString& other) {
  Assign(other.data_, other.length_);
  return *this;
}

CString& CString::operator=(LPCTSTR text) {
  Assign(text, TextLength(text));
  return *this;
}

CString& CString::operator+=(const CString& other) {
  Append(other.data_, other.length_);
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
  if (data_ != EmptyText()) delete[] data_;
  data_ = EmptyText();
  length_ = 0;
  capacity_ = 0;
}

void CString::Assign(const char* text, int length) {
  if (length == 0) {
    Empty();
    return;
  }
  if (data_ != EmptyText() && length <= capacity_) {
    std::memmove(data_, text, static_cast<size_t>(length));
  } else {
    char* buffer = AllocateText(length);
    std::memcpy(buffer, text, static_cast<size_t>(length));
    if (data_ != EmptyText()) delete[] data_;
    data_ = buffer;
    capacity_ = length;
  }
  length_ = length;
  data_[length_] = '\0';
}

void CString::Append(const char* text, int length) {
  if (length == 0) return;
  int total = SumOfLengths(length_, length);
  if (data_ != EmptyText() && total <= capacity_) {
    std::memmove(data_ + length_, text, static_cast<size_t>(length));
  } else {
    char* buffer = AllocateText(total);
    std::memcpy(buffer, data_, static_cast<size_t>(length_));
    std::memcpy(buffer + length_, text, static_cast<size_t>(length));
    if (data_ != EmptyText()) delete[] data_;
    data_ = buffer;
    capacity_ = total;
  }
  length_ = total;
  data_[length_] = '\0';
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
  return std::strcmp(data_, text == nullptr ? "" : text);
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
