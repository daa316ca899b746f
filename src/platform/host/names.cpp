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

// The length of the UTF-8 sequence a lead byte announces (1 for a stray byte).
size_t SequenceLength(unsigned char lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
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
    size_t length = SequenceLength(static_cast<unsigned char>(host_name[i]));
    if (i + length > host_name.size()) length = 1;
    std::string one;
    const bool ok = cp1252::FromUtf8(host_name.substr(i, length), &one) &&
                    IsShowableCharacter(static_cast<unsigned char>(one[0]));
    out += ok ? one : "?";
    // A malformed sequence costs one byte, so the next lead byte is looked at afresh.
    i += ok ? length : 1;
  }
  return out;
}

std::string HostName(std::string_view name) { return cp1252::ToUtf8(name); }

std::string FormatPath(const MachinePath& path) {
  std::string text = path.drive ? std::string(1, path.drive) + ":" : path.unc;
  for (const std::string& name : path.names) text += "\\" + name;
  if (path.names.empty() && path.drive) text += "\\";
  return text;
}

}  // namespace tvx::host
