// The value side of profile text: trimming arguments and defaults, the integers of
// GetPrivateProfileIntA, and the encodings of Unicode profile files.
#include "platform/base/codepage.h"
#include "platform/profile_format.h"

namespace tvx::profile {

std::string_view TrimTrailingSpaces(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return TrimTrailingSpaces(text);
}

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

}  // namespace

std::optional<uint32_t> ParseProfileInt(std::string_view value) {
  if (value.empty()) return std::nullopt;
  size_t i = 0;
  while (i < value.size() && static_cast<unsigned char>(value[i]) <= ' ') ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  uint32_t base = 10;
  if (i + 1 < value.size() && value[i] == '0') {
    const char mark = static_cast<char>(value[i + 1] | 0x20);
    base = mark == 'x' ? 16 : mark == 'o' ? 8 : mark == 'b' ? 2 : 10;
    if (base != 10) i += 2;
  }
  uint32_t result = 0;
  for (; i < value.size(); ++i) {
    const int digit = DigitValue(value[i]);
    if (digit >= static_cast<int>(base)) break;
    result = result * base + static_cast<uint32_t>(digit);
  }
  return negative ? 0u - result : result;
}

std::u16string WidenAnsi(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out.push_back(cp1252::ToUnicode(static_cast<unsigned char>(c)));
  return out;
}

std::u16string DecodeUtf16Le(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return out;
}

std::string EncodeUtf16Le(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

}  // namespace tvx::profile
