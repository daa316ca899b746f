// GetPrivateProfileStringA, GetPrivateProfileIntA and WritePrivateProfileStringA over the machine.
// Every call reads the file afresh, so there is no cache to flush. A write builds the whole new
// text and hands it to the machine's atomic replace, so a failure never leaves half a file.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/profile_format.h"
#include "platform/state.h"
#include "platform/windows.h"

namespace {

using tvx::MachinePath;
using tvx::Win32Error;
namespace profile = tvx::profile;

// Where the profile file `name` lives: a bare file name in the Windows directory, anything with
// a directory part against the current drive and directory. A null name means win.ini.
Win32Error ProfilePath(LPCSTR name, MachinePath* path) {
  std::string text = name != nullptr ? name : "win.ini";
  if (text.empty()) return ERROR_ACCESS_DENIED;
  if (text.find_first_of("\\/") == std::string::npos) {
    text = tvx::ToString(tvx::platform::WindowsDirectory()) + "\\" + text;
  }
  const Win32Error error = tvx::platform::ResolvePath(text, path);
  return error == ERROR_FILENAME_EXCED_RANGE ? ERROR_PATH_NOT_FOUND : error;
}

// A profile file's content: ANSI text or, after a UTF-16LE byte order mark, Unicode text. A UTF-8
// byte order mark means nothing here: it stays part of the first line.
struct ProfileText {
  bool unicode = false;
  std::string ansi;
  std::u16string wide;
};

ProfileText Decode(std::string bytes) {
  ProfileText text;
  if (bytes.starts_with(profile::kUtf16LeBom)) {
    text.unicode = true;
    text.wide = profile::DecodeUtf16Le(std::string_view(bytes).substr(2));
    return text;
  }
  text.ansi = std::move(bytes);
  return text;
}

// A Unicode file stays Unicode when rewritten: its byte order mark, then UTF-16LE.
std::string Encode(std::string text) {
  return text;
}
std::string Encode(std::u16string_view text) {
  return std::string(profile::kUtf16LeBom) + profile::EncodeUtf16Le(text);
}

Win32Error ReadProfile(const MachinePath& path, ProfileText* text) {
  std::string bytes;
  const Win32Error error = tvx::CurrentMachine().ReadFile(path, &bytes);
  if (error == ERROR_SUCCESS) *text = Decode(std::move(bytes));
  return error;
}

// How the arguments (code page 1252) reach a document's units, and its text comes back.
template <typename Char>
struct Units;
template <>
struct Units<char> {
  static std::string In(std::string_view ansi) { return std::string(ansi); }
  static std::string Out(std::string_view text) { return std::string(text); }
};
template <>
struct Units<char16_t> {
  static std::u16string In(std::string_view ansi) { return profile::WidenAnsi(ansi); }
  static std::string Out(std::u16string_view text) { return tvx::cp1252::FromUtf16(text); }
};

template <typename F>
auto Visit(const ProfileText& text, F&& f) {
  if (text.unicode) return f(profile::Document<char16_t>(text.wide));
  return f(profile::Document<char>(text.ansi));
}

std::optional<std::string> FindValue(const ProfileText& text, LPCSTR section, LPCSTR key) {
  return Visit(text, [&]<typename Char>(const profile::Document<Char>& doc) {
    using U = Units<Char>;
    const auto value = doc.Find(U::In(section), U::In(key));
    return value ? std::optional(U::Out(*value)) : std::nullopt;
  });
}

// The section names, or with a section the key names of that section.
std::vector<std::string> ListNames(const ProfileText& text, LPCSTR section) {
  return Visit(text, [&]<typename Char>(const profile::Document<Char>& doc) {
    using U = Units<Char>;
    std::vector<std::string> names;
    const auto found = section == nullptr ? doc.SectionNames() : doc.KeyNames(U::In(section));
    for (const auto& name : found) names.push_back(U::Out(name));
    return names;
  });
}

// The file's new bytes after the write, or nullopt when the text does not change.
std::optional<std::string> Edit(const ProfileText& text, LPCSTR section, LPCSTR key, LPCSTR value) {
  return Visit(text, [&]<typename Char>(const profile::Document<Char>& doc) {
    using U = Units<Char>;
    std::optional<std::basic_string<Char>> out;
    if (key == nullptr) {
      out = doc.WithoutSection(U::In(section));
    } else if (value == nullptr) {
      out = doc.WithoutKey(U::In(section), U::In(key));
    } else {
      out = doc.WithValue(U::In(section), U::In(key), U::In(value));
    }
    return out ? std::optional(Encode(*out)) : std::nullopt;
  });
}

// Copies `value` cut to size - 1 characters, then a zero; the number of characters copied.
DWORD CopyValue(std::string_view value, LPSTR buffer, DWORD size) {
  if (size == 0) return 0;
  if (value.size() >= size) {
    value = value.substr(0, size - 1);
    SetLastError(ERROR_MORE_DATA);
  }
  std::memcpy(buffer, value.data(), value.size());
  buffer[value.size()] = '\0';
  return static_cast<DWORD>(value.size());
}

// Copies names, each ended by a zero and the list by one more. A list that does not fit is cut
// so that the double zero still ends it, and the count is size - 2.
DWORD CopyList(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
  std::string list;
  for (const std::string& name : names) list.append(name).push_back('\0');
  if (list.empty()) {
    std::memset(buffer, 0, size < 2 ? size : 2);
    return 0;
  }
  if (list.size() < size) {
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<DWORD>(list.size());
  }
  SetLastError(ERROR_MORE_DATA);
  if (size < 2) {
    std::memset(buffer, 0, size);
    return 0;
  }
  std::memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

// Reads the file of a lookup; on failure sets the last error (ERROR_FILE_NOT_FOUND when it is
// missing) and gives nullopt.
std::optional<ProfileText> ReadForLookup(LPCSTR file) {
  MachinePath path;
  ProfileText text;
  Win32Error error = ProfilePath(file, &path);
  if (error == ERROR_SUCCESS) error = ReadProfile(path, &text);
  if (error == ERROR_SUCCESS) return text;
  SetLastError(error);
  return std::nullopt;
}

}  // namespace

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
  if (lpReturnedString == nullptr) return 0;
  const std::optional<ProfileText> text = ReadForLookup(lpFileName);
  if (lpAppName == nullptr || lpKeyName == nullptr) {
    const std::vector<std::string> names =
        text ? ListNames(*text, lpAppName) : std::vector<std::string>{};
    return CopyList(names, lpReturnedString, nSize);
  }
  std::optional<std::string> value;
  if (text) value = FindValue(*text, lpAppName, lpKeyName);
  // A value holding a zero byte reaches the caller as the text before it, so that the count
  // returned is always the length of the text in the buffer.
  if (value) value->resize(std::min(value->size(), value->find('\0')));
  if (!value) value = profile::TrimTrailingSpaces(lpDefault != nullptr ? lpDefault : "");
  return CopyValue(*value, lpReturnedString, nSize);
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                  LPCSTR lpFileName) {
  const UINT fallback = static_cast<UINT>(nDefault);
  if (lpAppName == nullptr || lpKeyName == nullptr) return fallback;
  const std::optional<ProfileText> text = ReadForLookup(lpFileName);
  if (!text) return fallback;
  const std::optional<std::string> value = FindValue(*text, lpAppName, lpKeyName);
  if (!value) return fallback;
  return profile::ParseProfileInt(*value).value_or(fallback);
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                       LPCSTR lpFileName) {
  // With everything null the caller asks for the cache to be flushed; there is none.
  if (lpAppName == nullptr) {
    if (lpKeyName != nullptr || lpString != nullptr) SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  MachinePath path;
  ProfileText text;
  Win32Error error = ProfilePath(lpFileName, &path);
  if (error == ERROR_SUCCESS) error = ReadProfile(path, &text);
  // A missing file starts empty and the error stays visible, as on the real platform.
  if (error != ERROR_SUCCESS) SetLastError(error);
  if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return FALSE;
  const std::optional<std::string> bytes = Edit(text, lpAppName, lpKeyName, lpString);
  if (!bytes) return TRUE;
  error = tvx::CurrentMachine().ReplaceFile(path, *bytes);
  if (error == ERROR_SUCCESS) return TRUE;
  SetLastError(error);
  return FALSE;
}
