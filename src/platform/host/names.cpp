#include "platform/host/names.h"

#include <cstring>

#include "platform/base/codepage.h"

namespace tvx::host {
namespace {

bool IsShowableCharacter(unsigned char byte) {
  const char16_t code = cp1252::ToUnicode(byte);
  if (code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F)) return false;
  return std::strchr("\\/:*?\"<>|", byte) == nullptr;
}

// The length of the UTF-8 character at `i`, judged by its bytes' shape alone; 1 for a stray
// byte, so that a malformed sequence costs one "?" per byte.
size_t CharacterLength(std::string_view text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const size_t length = (lead & 0xE0) == 0xC0   ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 1;
  if (i + length > text.size()) return 1;
  for (size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

}  // namespace

bool IsShowableName(std::string_view name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (char c : name) {
    if (!IsShowableCharacter(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool WindowsName(std::string_view host_name, std::string* name) {
  return cp1252::FromUtf8(host_name, name) && IsShowableName(*name);
}

std::string WindowsNameLossy(std::string_view host_name) {
  std::string out;
  for (size_t i = 0; i < host_name.size();) {
    const size_t length = CharacterLength(host_name, i);
    std::string one;
    const bool ok = cp1252::FromUtf8(host_name.substr(i, length), &one) &&
                    IsShowableCharacter(static_cast<unsigned char>(one[0]));
    out += ok ? one : "?";
    i += length;
  }
  return out;
}

std::string HostName(std::string_view name) {
  return cp1252::ToUtf8(name);
}

std::string FormatPath(const MachinePath& path) {
  std::string text = path.drive ? std::string(1, path.drive) + ":" : path.unc;
  for (const std::string& name : path.names) text += "\\" + name;
  if (path.names.empty() && path.drive) text += "\\";
  return text;
}

}  // namespace tvx::host
