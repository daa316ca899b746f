// CharUpperA with code page 1252's mapping.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/windows.h"

namespace {

// The platform's upper case of each byte of code page 1252 that changes; every other stays.
unsigned char ExpectedUpper(unsigned char byte) {
  if (byte >= 'a' && byte <= 'z') return byte - 0x20;
  if (byte >= 0xE0 && byte <= 0xF6) return byte - 0x20;  // a grave .. o diaeresis
  if (byte >= 0xF8 && byte <= 0xFE) return byte - 0x20;  // o stroke .. thorn
  switch (byte) {
    case 0x9A:
      return 0x8A;  // s caron
    case 0x9C:
      return 0x8C;  // oe
    case 0x9E:
      return 0x8E;  // z caron
    case 0xFF:
      return 0x9F;  // y diaeresis
    default:
      return byte;
  }
}

TEST(CharUpperTest, MapsEveryByteAsCodePage1252Does) {
  for (int byte = 1; byte < 256; ++byte) {
    char text[2] = {static_cast<char>(byte), '\0'};
    (void)CharUpperA(text);
    EXPECT_EQ(static_cast<unsigned char>(text[0]), ExpectedUpper(static_cast<unsigned char>(byte)))
        << "byte " << std::hex << byte;
  }
}

TEST(CharUpperTest, LeavesTheLettersWithoutASingleCapitalAlone) {
  // Sharp s, micro sign, division sign, the ordinal indicators and the capitals themselves.
  std::string text = "\xdf\xb5\xf7\xaa\xba\xc0\xde\x8a\x9f";
  const std::string before = text;
  (void)CharUpperA(text.data());
  EXPECT_EQ(text, before);
}

TEST(CharUpperTest, UpperCasesInPlaceAndKeepsTheLength) {
  char text[] = "deisl\xe9.isu";
  EXPECT_EQ(CharUpperA(text), text);
  EXPECT_STREQ(text, "DEISL\xc9.ISU");
}

TEST(CharUpperTest, ACharacterInPlaceOfAPointerComesBackUpperCased) {
  const auto result =
      reinterpret_cast<uintptr_t>(CharUpperA(reinterpret_cast<LPSTR>(uintptr_t{'q'})));
  EXPECT_EQ(result, uintptr_t{'Q'});
  const auto accent =
      reinterpret_cast<uintptr_t>(CharUpperA(reinterpret_cast<LPSTR>(uintptr_t{0xe9})));
  EXPECT_EQ(accent, uintptr_t{0xc9});
}

}  // namespace
