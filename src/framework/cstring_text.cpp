// CString's text operations: parts of a text, upper-casing, string-table rows and the writable
// buffer.

#include <cstring>

#include "framework/cstring.h"
#include "framework/cstring_buffer.h"
#include "framework/winapp.h"

using tvx::framework::AllocateText;
using tvx::framework::EmptyText;

namespace {

// The first buffer LoadString offers; rows longer than this make it grow.
constexpr int kFirstRowBuffer = 256;
// Doubling stops here so that the size stays countable; no row comes near it.
constexpr int kLastRowBuffer = 1 << 29;

int Clamp(int value, int low, int high) {
  if (value < low) return low;
  if (value > high) return high;
  return value;
}

}  // namespace

CString CString::Left(int count) const {
  return CString(data_, Clamp(count, 0, length_));
}

CString CString::Right(int count) const {
  int taken = Clamp(count, 0, length_);
  return CString(data_ + length_ - taken, taken);
}

CString CString::Mid(int first, int count) const {
  int start = Clamp(first, 0, length_);
  return CString(data_ + start, Clamp(count, 0, length_ - start));
}

CString CString::Mid(int first) const {
  return Mid(first, length_ - Clamp(first, 0, length_));
}

void CString::MakeUpper() {
  // CharUpperA stops at the first zero byte, as the platform's own string calls do.
  if (length_ != 0) (void)CharUpperA(data_);
}

BOOL CString::LoadString(UINT id) {
  HINSTANCE module = AfxGetResourceHandle();
  // LoadStringA cuts a row to the buffer, so a row that fills the buffer may have been cut: try
  // again with twice the room until the row fits with room to spare.
  for (int size = kFirstRowBuffer;; size *= 2) {
    int copied = LoadStringA(module, id, GetBuffer(size - 1), size);
    if (copied <= 0) {
      Empty();
      return FALSE;
    }
    if (copied < size - 1 || size > kLastRowBuffer) {
      ReleaseBuffer(copied);
      return TRUE;
    }
  }
}

LPTSTR CString::GetBuffer(int min_length) {
  if (min_length < 0) min_length = 0;
  if (data_ != EmptyText() && min_length <= capacity_) return data_;
  int capacity = min_length > length_ ? min_length : length_;
  char* buffer = AllocateText(capacity);
  std::memcpy(buffer, data_, static_cast<size_t>(length_) + 1);
  buffer[capacity] = '\0';
  if (data_ != EmptyText()) delete[] data_;
  data_ = buffer;
  capacity_ = capacity;
  return data_;
}

void CString::ReleaseBuffer(int new_length) {
  // Before the first GetBuffer there is no buffer the caller could have written.
  if (data_ == EmptyText()) return;
  if (new_length < 0) {
    // Only the buffer is searched; a caller that wrote over every zero gets the whole buffer.
    const void* zero = std::memchr(data_, '\0', static_cast<size_t>(capacity_));
    new_length =
        zero == nullptr ? capacity_ : static_cast<int>(static_cast<const char*>(zero) - data_);
  }
  length_ = new_length > capacity_ ? capacity_ : new_length;
  data_[length_] = '\0';
}
