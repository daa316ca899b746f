// CString's text operations: parts of a text, upper-casing, string-table rows and the writable
// buffer.

#include <cstring>

#include "framework/cstring.h"
#include "framework/cstring_buffer.h"
#include "framework/winapp.h"

using tvx::framework::AllocateText;

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
  return CString(Data(), Clamp(count, 0, length_));
}

CString CString::Right(int count) const {
  int taken = Clamp(count, 0, length_);
  return CString(Data() + length_ - taken, taken);
}

CString CString::Mid(int first, int count) const {
  int start = Clamp(first, 0, length_);
  return CString(Data() + start, Clamp(count, 0, length_ - start));
}

CString CString::Mid(int first) const {
  return Mid(first, length_ - Clamp(first, 0, length_));
}

void CString::MakeUpper() {
  // CharUpperA stops at the first zero byte, as the platform's own string calls do.
  if (length_ != 0) (void)CharUpperA(Data());
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
  if (min_length <= capacity_) return Data();
  // The whole text and its zero move, so that a caller may read what it is about to extend.
  char* buffer = AllocateText(min_length);
  std::memcpy(buffer, Data(), static_cast<size_t>(length_) + 1);
  buffer[min_length] = '\0';
  TakeBuffer(buffer, min_length);
  return buffer;
}

void CString::ReleaseBuffer(int new_length) {
  char* data = Data();
  if (new_length < 0) {
    // Only the buffer is searched; a caller that wrote over every zero gets the whole buffer.
    const void* zero = std::memchr(data, '\0', static_cast<size_t>(capacity_));
    new_length =
        zero == nullptr ? capacity_ : static_cast<int>(static_cast<const char*>(zero) - data);
  }
  length_ = new_length > capacity_ ? capacity_ : new_length;
  data[length_] = '\0';
}
