// Profile (".ini") text as the system reads and rewrites it: lines, sections, keys and values,
// lookups, listings and edits that leave every other line as it was. Pure functions over the
// text, written once for both kinds of profile file: ANSI text (char, code page 1252) and Unicode
// text (char16_t, from a file that starts with a UTF-16LE byte order mark).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::profile {

/// What one line of a profile file is. kText is a line in a section that has no "=".
enum class LineKind : uint8_t { kBlank, kComment, kSection, kKey, kText };

/// One line, as offsets into the text.
struct Line {
  size_t begin = 0;  // its first unit
  size_t end = 0;    // one past its content, before the line break
  size_t next = 0;   // the first unit of the next line (end of text for the last line)
  LineKind kind = LineKind::kBlank;
  size_t name_begin = 0;  // a section's or a key's name, blanks around it removed
  size_t name_end = 0;
  size_t value_begin = 0;  // a key's value, blanks around it and one outer quote pair removed
  size_t value_end = 0;
};

/// A parsed profile text. It views the text it was given, which must outlive it.
template <typename Char>
class Document {
 public:
  using String = std::basic_string<Char>;
  using View = std::basic_string_view<Char>;

  /// Parses in time linear in the text's length; any units are accepted.
  explicit Document(View text);

  /// The value of `key` in the first section named `section`. Both arguments are compared
  /// ignoring case, after leading and trailing spaces (only spaces) are removed. Lines before the
  /// first section, comments and lines without "=" are never found; nor is an empty key.
  std::optional<View> Find(View section, View key) const;
  /// Every section's name in file order, copies included; empty names are left out.
  std::vector<View> SectionNames() const;
  /// The key names of the first section named `section`, duplicates included; empty names are
  /// left out.
  std::vector<View> KeyNames(View section) const;

  /// The text with `key` of `section` set to `value`, written verbatim: an existing key keeps
  /// its line and its stored case; a new key goes after the section's last key; a new section
  /// is appended at the end.
  String WithValue(View section, View key, View value) const;
  /// The text without the lines of `key` in the first section named `section`; nullopt when it
  /// has none (the text is unchanged).
  std::optional<String> WithoutKey(View section, View key) const;
  /// The text without every section named `section`: headers, keys and lines without "=" go,
  /// comment and blank lines stay where they were. nullopt when there is no such section.
  std::optional<String> WithoutSection(View section) const;

  const std::vector<Line>& lines() const { return lines_; }

 private:
  View NameOf(const Line& line) const;
  std::optional<size_t> FindSection(View name, size_t from) const;
  size_t SectionEnd(size_t header) const;
  View LineBreak() const;

  View text_;
  std::vector<Line> lines_;
};

/// Removes leading and trailing spaces (not tabs), as the profile calls do with section and key
/// arguments.
std::string_view TrimSpaces(std::string_view text);
/// Removes trailing spaces only, as the profile calls do with a default value.
std::string_view TrimTrailingSpaces(std::string_view text);

/// The number GetPrivateProfileIntA makes of a value: leading white space skipped, an optional
/// sign, an optional "0x", "0o" or "0b" base prefix, digits up to the first one that is not of
/// the base, wrapping modulo 2^32. nullopt for an empty value.
std::optional<uint32_t> ParseProfileInt(std::string_view value);

/// Widens code page 1252 text to the UTF-16 of a Unicode profile file, unit for unit.
std::u16string WidenAnsi(std::string_view text);
/// The UTF-16LE units of `bytes` (an odd last byte is dropped).
std::u16string DecodeUtf16Le(std::string_view bytes);
/// The UTF-16LE bytes of `text`.
std::string EncodeUtf16Le(std::u16string_view text);

/// The byte order mark that makes a profile file Unicode.
inline constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

extern template class Document<char>;
extern template class Document<char16_t>;

}  // namespace tvx::profile
