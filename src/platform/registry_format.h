// The registry as the system reads it: a hive file in Wine's text format ("WINE REGISTRY
// Version 2") parsed into a tree of keys and values, and the lookups the registry calls make.
// Pure: no machine, no handles. Names are compared ignoring case.
#pragma once

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

/// A tree of keys, each with its values. Keys are numbered; the root is kRoot.
class Hive {
 public:
  using KeyId = uint32_t;
  static constexpr KeyId kRoot = 0;

  /// An empty hive: the root key alone, no values.
  Hive();

  /// Parses the text of a hive file in linear time, on any bytes. A first line other than
  /// "WINE REGISTRY Version 2" gives an empty hive; a malformed line is skipped and the rest
  /// still loads.
  static Hive Parse(std::string_view text);

  /// True when the file said "#arch=win64" before its first key.
  bool win64() const { return win64_; }
  /// The key at `path` below `from`: names separated by "\", empty names skipped (so "" is
  /// `from` itself). nullopt when a key on the way is missing.
  std::optional<KeyId> Find(KeyId from, std::u16string_view path) const;
  /// The value of `key` named `name` ("" for the default value); null when it has none.
  const Value* FindValue(KeyId key, std::u16string_view name) const;

  /// Makes the key at `path` below the root, and every missing key on the way.
  KeyId AddKey(std::u16string_view path);
  /// Sets a value of `key`, replacing one of the same name.
  void SetValue(KeyId key, std::u16string_view name, Value value);
  void set_win64(bool win64) { win64_ = win64; }

 private:
  struct Node {
    std::map<std::u16string, KeyId> children;  // by folded name
    std::map<std::u16string, Value> values;    // by folded name
  };

  // Nodes live in one array, so a very deep file is never torn down recursively.
  std::vector<Node> nodes_;
  bool win64_ = false;
};

/// The path below a 64-bit hive's root that a 32-bit program reads for `path`: "Software" and
/// everything below it are read through "Software\Wow6432Node"; other paths stay.
std::u16string RedirectFor32Bit(std::u16string_view path);

/// A name folded for comparison: what code page 1252 upper-cases is upper-cased, every other
/// unit stays.
std::u16string FoldName(std::u16string_view name);

/// The names of `path` between its "\" separators, empty ones left out.
std::vector<std::u16string_view> SplitPath(std::u16string_view path);

}  // namespace tvx::registry
