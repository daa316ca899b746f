#include "platform/base/codepage.h"

#include <algorithm>
#include <array>

namespace tvx::cp1252 {
namespace {

// 80..9F are the only bytes whose character differs from their number.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence at `i`; false for a malformed, overlong or surrogate one.
bool DecodeUtf8(std::string_view s, size_t* i, char32_t* code) {
  const auto b0 = static_cast<unsigned char>(s[*i]);
  const int extra = b0 < 0x80             ? 0
                    : (b0 & 0xE0) == 0xC0 ? 1
                    : (b0 & 0xF0) == 0xE0 ? 2
                    : (b0 & 0xF8) == 0xF0 ? 3
                                          : -1;
  if (extra < 0 || *i + extra >= s.size() + (extra == 0 ? 1 : 0)) return false;
  char32_t c = extra == 0 ? b0 : b0 & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[*i + k]);
    if ((b & 0xC0) != 0x80) return false;
    c = (c << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
  if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  *i += extra + 1;
  *code = c;
  return true;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

char16_t ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
  return byte;
}

bool FromUnicode(char32_t code, unsigned char* byte) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
    *byte = static_cast<unsigned char>(code);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == code) {
      *byte = static_cast<unsigned char>(0x80 + i);
      return true;
    }
  }
  return false;
}

bool FromUtf8(std::string_view utf8, std::string* out) {
  out->clear();
  out->reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t code = 0;
    unsigned char byte = 0;
    if (!DecodeUtf8(utf8, &i, &code) || !FromUnicode(code, &byte)) return false;
    out->push_back(static_cast<char>(byte));
  }
  return true;
}

std::string ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) AppendUtf8(ToUnicode(static_cast<unsigned char>(c)), &out);
  return out;
}

std::string FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    // A surrogate pair is one character, and never one of this code page.
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
      code = 0x10000;
    }
    unsigned char byte = 0;
    out.push_back(FromUnicode(code, &byte) ? static_cast<char>(byte) : '?');
  }
  return out;
}

unsigned char Upper(unsigned char byte) {
  if (byte >= 'a' && byte <= 'z') return byte - 0x20;
  if ((byte >= 0xE0 && byte <= 0xFE) && byte != 0xF7) return byte - 0x20;
  switch (byte) {
    case 0x9A:
      return 0x8A;
    case 0x9C:
      return 0x8C;
    case 0x9E:
      return 0x8E;
    case 0xFF:
      return 0x9F;
    default:
      return byte;
  }
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(Upper(static_cast<unsigned char>(c)));
  return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

int CompareIgnoringCase(std::string_view a, std::string_view b) {
  // Sorting a large directory compares names millions of times, so the mapping is looked up in
  // a table rather than worked out for each byte.
  static const std::array<unsigned char, 256> upper = [] {
    std::array<unsigned char, 256> table{};
    for (size_t byte = 0; byte < table.size(); ++byte) {
      table[byte] = Upper(static_cast<unsigned char>(byte));
    }
    return table;
  }();
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const unsigned char x = upper[static_cast<unsigned char>(a[i])];
    const unsigned char y = upper[static_cast<unsigned char>(b[i])];
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace tvx::cp1252
