// The registry as the system reads it: a hive file in Wine's text format ("WINE REGISTRY
// Version 2") and the lookups the registry calls make. Pure: no machine, no handles. Names are
// compared ignoring case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::registry {

/// A value as the hive holds it: its type (REG_*) and its raw bytes. String types hold UTF-16LE
/// with the terminating zero that their quoted form implies; hex forms hold exactly their bytes.
struct Value {
  uint32_t type = 0;
  std::string data;
};

/// A hive file's text, read lazily: loading only finds the key lines, a lookup decodes only the
/// key lines it compares, and the values of a key are read on its first value lookup. Not safe
/// for concurrent lookups (the values read are kept); callers serialise them.
class Hive {
 public:
  /// A key: 0 is the root; any other is the first key line below which it lies and its depth.
  using KeyId = uint64_t;
  static constexpr KeyId kRoot = 0;

  /// An empty hive: the root key alone, no values.
  Hive() = default;

  /// Takes the text of a hive file and finds its key lines in one pass, on any bytes. A first
  /// line other than "WINE REGISTRY Version 2" gives an empty hive; a malformed line is skipped
  /// and the rest still loads.
  static Hive Parse(std::string text);

  /// True when the file said "#arch=win64" before its first key.
  bool win64() const { return win64_; }
  /// The key at `path` below `from`: names separated by "\", empty names skipped (so "" is
  /// `from` itself). A key exists when a key line names it or a key below it. nullopt when none
  /// does.
  std::optional<KeyId> Find(KeyId from, std::u16string_view path) const;
  /// The value of `key` named `name` ("" for the default value); null when it has none. Where
  /// several lines set it, the last one read wins.
  const Value* FindValue(KeyId key, std::u16string_view name) const;

 private:
  using Values = std::map<std::u16string, Value>;  // by folded name

  /// The folded names of the key line at `section`, at most `most` of them; nullopt when the
  /// line does not parse.
  std::optional<std::vector<std::u16string>> KeyLineNames(size_t section, size_t most) const;
  /// Whether the key line at `section` parses and names `names` (folded) or, unless `exact`, a
  /// key below it.
  bool KeyLineMatches(size_t section, const std::vector<std::u16string>& names, bool exact) const;
  /// Reads the values of the section at `section` into `values`, later ones replacing earlier.
  void ReadSectionValues(size_t section, Values* values) const;
  std::vector<std::u16string> NamesOf(KeyId key) const;

  std::string text_;
  // Where each key line starts, in the order of the file.
  std::vector<size_t> sections_;
  bool win64_ = false;
  // The values read so far, by key.
  mutable std::map<KeyId, Values> values_;
};

/// The path below a 64-bit hive's root that a 32-bit program reads for `path`: "Software" and
/// everything below it are read through "Software\Wow6432Node"; other paths stay.
std::u16string RedirectFor32Bit(std::u16string_view path);

/// A name folded for comparison: what code page 1252 upper-cases is upper-cased, every other
/// unit stays.
std::u16string FoldName(std::u16string_view name);
/// One unit folded as FoldName folds it.
char16_t FoldUnit(char16_t unit);

/// The names of `path` between its "\" separators, empty ones left out.
std::vector<std::u16string_view> SplitPath(std::u16string_view path);

}  // namespace tvx::registry
