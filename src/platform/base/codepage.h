// Code page 1252, the ANSI code page of this machine: conversion to and from the host's UTF-8 and
// the registry's UTF-16, and the platform's upper-case mapping.
#pragma once

#include <string>
#include <string_view>

namespace tvx::cp1252 {

/// The Unicode character of a code page 1252 byte. The five bytes the code page leaves undefined
/// (81, 8D, 8F, 90, 9D) map to the control characters of the same number, as Windows maps them.
char16_t ToUnicode(unsigned char byte);
/// The byte for a Unicode character; false when the code page has none.
bool FromUnicode(char32_t code, unsigned char* byte);

/// Converts UTF-8 to code page 1252. False (and `out` unspecified) for invalid UTF-8 or a
/// character the code page lacks.
bool FromUtf8(std::string_view utf8, std::string* out);
std::string ToUtf8(std::string_view text);
/// Converts UTF-16 to code page 1252 with "?" for what the code page lacks.
std::string FromUtf16(std::u16string_view text);

/// Windows' upper-case mapping of a byte: a..z, E0..FE except F7, 9A, 9C, 9E and FF change;
/// every other byte (DF, B5, 83 among them) stays.
unsigned char Upper(unsigned char byte);
std::string Upper(std::string_view text);
/// Equal when equal after Upper, the way the file system and the registry compare names.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
/// Orders by Upper byte by byte, a shorter name before a longer one it begins: <0, 0 or >0.
int CompareIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tvx::cp1252
