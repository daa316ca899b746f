// The pieces of the hive file's text format that both the key-line scan and the value reader
// use (registry_parse.cpp). Internal to the registry files.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry_format.h"

namespace tvx::registry::text {

/// Lines end in LF; a CR before it is dropped.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  /// The next line, or false at the end of the text.
  bool Next(std::string_view* line) {
    if (position_ >= text_.size()) return false;
    size_t end = text_.find('\n', position_);
    if (end == std::string_view::npos) end = text_.size();
    *line = text_.substr(position_, end - position_);
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    position_ = end + 1;
    return true;
  }
  /// Where the next line starts (past the text's end after its last line).
  size_t position() const { return position_; }
  void Rewind(size_t position) { position_ = position; }

 private:
  std::string_view text_;
  size_t position_ = 0;
};

/// The position of the first character of `line` from `pos` on that is not a blank.
size_t SkipSpace(std::string_view line, size_t pos);

/// The units of an escaped string, one at a time, up to an unescaped `close`. A byte without
/// escape is the character of the same number.
class EscapedText {
 public:
  EscapedText(std::string_view line, size_t pos, char close)
      : line_(line), pos_(pos), close_(close) {}

  /// The next unit; false once the string has ended, at `close` or where the line ends first.
  bool Next(char16_t* unit);
  /// True when the string ended at `close`.
  bool closed() const { return closed_; }
  /// The position after what has been read.
  size_t position() const { return pos_; }

 private:
  bool Stop(bool closed) {
    done_ = true;
    closed_ = closed;
    return false;
  }

  std::string_view line_;
  size_t pos_;
  char close_;
  bool done_ = false;
  bool closed_ = false;
};

/// Reads an escaped string from `pos` up to an unescaped `close`; the position after `close`, or
/// nullopt when the line ends first.
std::optional<size_t> ReadString(std::string_view line, size_t pos, char close,
                                 std::u16string* out);

/// Reads a `"name"=data` or `@=data` line starting at `pos` into `values` by folded name,
/// replacing a value of the same name; hex data may go on over the next lines of `reader`. A
/// line that does not parse is passed over.
void ReadValueLine(std::string_view line, size_t pos, LineReader* reader,
                   std::map<std::u16string, Value>* values);

}  // namespace tvx::registry::text
