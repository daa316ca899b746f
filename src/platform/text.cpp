#include <cstdint>

#include "platform/base/codepage.h"
#include "platform/windows.h"

LPSTR WINAPI CharUpperA(LPSTR lpsz) {
  // A pointer value below 64 K carries one character in its low byte, not a string.
  const auto value = reinterpret_cast<uintptr_t>(lpsz);
  if (value >> 16 == 0) {
    const unsigned char upper = tvx::cp1252::Upper(static_cast<unsigned char>(value & 0xFF));
    return reinterpret_cast<LPSTR>(static_cast<uintptr_t>(upper));
  }
  for (char* c = lpsz; *c != '\0'; ++c) {
    *c = static_cast<char>(tvx::cp1252::Upper(static_cast<unsigned char>(*c)));
  }
  return lpsz;
}
