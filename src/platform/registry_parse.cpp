// Reading a hive file in Wine's "version 2" text format. Each line is looked at once, left to
// right; only hex data goes on over continuation lines. A line that does not parse is skipped,
// and the values after a key line that does not parse belong to no key and are skipped too.
#include <optional>

#include "platform/registry_text.h"

namespace tvx::registry::text {
namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char16_t NamedEscape(char c) {
  switch (c) {
    case 'a':
      return 0x07;
    case 'b':
      return 0x08;
    case 'e':
      return 0x1B;
    case 'f':
      return 0x0C;
    case 'n':
      return 0x0A;
    case 'r':
      return 0x0D;
    case 't':
      return 0x09;
    case 'v':
      return 0x0B;
    default:
      return static_cast<unsigned char>(c);
  }
}

// Reads up to `most` digits of `base` at `*pos` into one UTF-16 unit; the count read.
int ReadNumber(std::string_view line, size_t* pos, int base, int most, char16_t* unit) {
  int count = 0;
  uint32_t value = 0;
  for (; count < most && *pos < line.size(); ++count, ++*pos) {
    const int digit = HexDigit(line[*pos]);
    if (digit < 0 || digit >= base) break;
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
  }
  *unit = static_cast<char16_t>(value);
  return count;
}

// One escape after a backslash at `*pos`, which moves past it.
char16_t ReadEscape(std::string_view line, size_t* pos) {
  const char c = line[(*pos)++];
  char16_t unit = 0;
  if (c == 'x') return ReadNumber(line, pos, 16, 4, &unit) > 0 ? unit : u'x';
  if (c >= '0' && c <= '7') {
    --*pos;
    (void)ReadNumber(line, pos, 8, 3, &unit);
    return unit;
  }
  return NamedEscape(c);
}

std::string ToBytes(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2 + 2);
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out.append(2, '\0');
}

// Comma-separated hex bytes; a "\" at the end of a line goes on on the next one. A next line
// that does not go on with hex data is left to be read as a line of its own.
bool ReadHex(std::string_view line, size_t pos, LineReader* reader, std::string* out) {
  std::optional<size_t> continued;
  const auto fail = [&] {
    if (continued) reader->Rewind(*continued);
    return false;
  };
  for (;;) {
    while (pos < line.size() && HexDigit(line[pos]) >= 0) {
      uint32_t value = 0;
      for (; pos < line.size() && HexDigit(line[pos]) >= 0; ++pos) {
        value = value * 16 + static_cast<uint32_t>(HexDigit(line[pos]));
        if (value > 0xFF) return fail();
      }
      out->push_back(static_cast<char>(value));
      pos = SkipSpace(line, pos);
      if (pos < line.size() && line[pos] == ',') pos = SkipSpace(line, pos + 1);
    }
    pos = SkipSpace(line, pos);
    if (pos == line.size()) return true;
    if (line[pos] != '\\') return fail();
    continued = reader->position();
    if (!reader->Next(&line)) return false;
    pos = SkipSpace(line, 0);
  }
}

// "dword:" and one to eight hex digits.
bool ReadDword(std::string_view line, size_t pos, std::string* out) {
  pos = SkipSpace(line, pos);
  uint32_t value = 0;
  int digits = 0;
  for (; pos < line.size() && HexDigit(line[pos]) >= 0; ++pos, ++digits) {
    value = value * 16 + static_cast<uint32_t>(HexDigit(line[pos]));
    if (digits == 8) return false;
  }
  if (digits == 0) return false;
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return true;
}

// "hex(N):": the type N in hex.
bool ReadHexType(std::string_view line, size_t* pos, uint32_t* type) {
  *type = 0;
  int digits = 0;
  for (; *pos < line.size() && HexDigit(line[*pos]) >= 0; ++*pos, ++digits) {
    if (digits == 8) return false;
    *type = *type * 16 + static_cast<uint32_t>(HexDigit(line[*pos]));
  }
  if (digits == 0 || line.substr(*pos, 2) != "):") return false;
  *pos += 2;
  return true;
}

bool ReadQuoted(std::string_view line, size_t pos, uint32_t type, Value* value) {
  std::u16string text;
  if (!ReadString(line, pos, '"', &text)) return false;
  value->type = type;
  value->data = ToBytes(text);
  return true;
}

// The data after "=", in any of the file's forms.
bool ReadData(std::string_view line, size_t pos, LineReader* reader, Value* value) {
  const std::string_view rest = line.substr(pos);
  const auto starts = [&](std::string_view tag) { return rest.starts_with(tag); };
  if (starts("\"")) return ReadQuoted(line, pos + 1, kRegSz, value);
  if (starts("str:\"")) return ReadQuoted(line, pos + 5, kRegSz, value);
  if (starts("str(2):\"")) return ReadQuoted(line, pos + 8, kRegExpandSz, value);
  if (starts("str(7):\"")) return ReadQuoted(line, pos + 8, kRegMultiSz, value);
  if (starts("dword:")) {
    value->type = kRegDword;
    return ReadDword(line, pos + 6, &value->data);
  }
  if (starts("hex:")) {
    value->type = kRegBinary;
    return ReadHex(line, pos + 4, reader, &value->data);
  }
  if (!starts("hex(")) return false;
  pos += 4;
  return ReadHexType(line, &pos, &value->type) && ReadHex(line, pos, reader, &value->data);
}

}  // namespace

size_t SkipSpace(std::string_view line, size_t pos) {
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  return pos;
}

bool EscapedText::Next(char16_t* unit) {
  if (done_) return false;
  if (pos_ >= line_.size()) return Stop(/*closed=*/false);
  const char c = line_[pos_++];
  if (c == close_) return Stop(/*closed=*/true);
  if (c != '\\') {
    *unit = static_cast<unsigned char>(c);
    return true;
  }
  if (pos_ == line_.size()) return Stop(/*closed=*/false);
  *unit = ReadEscape(line_, &pos_);
  return true;
}

std::optional<size_t> ReadString(std::string_view line, size_t pos, char close,
                                 std::u16string* out) {
  EscapedText units(line, pos, close);
  char16_t unit = 0;
  while (units.Next(&unit)) out->push_back(unit);
  if (!units.closed()) return std::nullopt;
  return units.position();
}

void ReadValueLine(std::string_view line, size_t pos, LineReader* reader,
                   std::map<std::u16string, Value>* values) {
  std::u16string name;
  if (line[pos] == '@') {
    ++pos;
  } else {
    const std::optional<size_t> after = ReadString(line, pos + 1, '"', &name);
    if (!after) return;
    pos = *after;
  }
  pos = SkipSpace(line, pos);
  if (pos == line.size() || line[pos] != '=') return;
  Value value;
  if (!ReadData(line, SkipSpace(line, pos + 1), reader, &value)) return;
  values->insert_or_assign(FoldName(name), std::move(value));
}

}  // namespace tvx::registry::text
