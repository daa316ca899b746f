#include "platform/profile_format.h"

#include "platform/base/codepage.h"

namespace tvx::profile {
namespace {

// Blanks the parser removes around names and values: space, tab and vertical tab.
template <typename Char>
bool IsBlank(Char c) {
  return c == ' ' || c == '\t' || c == '\v';
}

template <typename Char>
bool IsBreak(Char c) {
  return c == '\r' || c == '\n';
}

unsigned Fold(char c) {
  return cp1252::Upper(static_cast<unsigned char>(c));
}

// A Unicode file compares the characters code page 1252 knows with its upper-case mapping, and
// every other character exactly.
unsigned Fold(char16_t c) {
  unsigned char byte = 0;
  if (!cp1252::FromUnicode(c, &byte)) return c;
  return cp1252::ToUnicode(cp1252::Upper(byte));
}

template <typename Char>
bool SameName(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

template <typename Char>
std::basic_string_view<Char> TrimSpacesOf(std::basic_string_view<Char> text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

template <typename Char>
bool IsQuote(Char c) {
  return c == '"' || c == '\'';
}

// Fills the name and value of a line that holds "=" at `equals`.
template <typename Char>
void ParseKey(std::basic_string_view<Char> text, size_t first, size_t equals, Line* line) {
  size_t name_end = equals;
  while (name_end > first && IsBlank(text[name_end - 1])) --name_end;
  size_t value_begin = equals + 1;
  size_t value_end = line->end;
  while (value_begin < value_end && IsBlank(text[value_begin])) ++value_begin;
  while (value_end > value_begin && IsBlank(text[value_end - 1])) --value_end;
  // One outer pair of the same quote goes; whatever lies inside stays as it is.
  if (value_end - value_begin >= 2 && IsQuote(text[value_begin]) &&
      text[value_begin] == text[value_end - 1]) {
    ++value_begin;
    --value_end;
  }
  *line = Line{line->begin, line->end, line->next,  LineKind::kKey,
               first,       name_end,  value_begin, value_end};
}

// "[ name ]": blanks inside the brackets go, a missing "]" is accepted, text after it ignored.
template <typename Char>
void ParseSection(std::basic_string_view<Char> text, size_t open, Line* line) {
  size_t name_begin = open + 1;
  while (name_begin < line->end && IsBlank(text[name_begin])) ++name_begin;
  size_t name_end = name_begin;
  while (name_end < line->end && text[name_end] != ']') ++name_end;
  while (name_end > name_begin && IsBlank(text[name_end - 1])) --name_end;
  line->kind = LineKind::kSection;
  line->name_begin = name_begin;
  line->name_end = name_end;
}

template <typename Char>
void ParseLine(std::basic_string_view<Char> text, Line* line) {
  size_t first = line->begin;
  while (first < line->end && IsBlank(text[first])) ++first;
  if (first == line->end) return;
  if (text[first] == ';') {
    line->kind = LineKind::kComment;
    return;
  }
  if (text[first] == '[') return ParseSection(text, first, line);
  for (size_t i = first; i < line->end; ++i) {
    if (text[i] == '=') return ParseKey(text, first, i, line);
  }
  size_t last = line->end;
  while (last > first && IsBlank(text[last - 1])) --last;
  line->kind = LineKind::kText;
  line->name_begin = first;
  line->name_end = last;
}

// CR LF, a bare CR and a bare LF each end a line.
template <typename Char>
std::vector<Line> SplitLines(std::basic_string_view<Char> text) {
  std::vector<Line> lines;
  size_t begin = 0;
  while (begin < text.size()) {
    Line line;
    line.begin = begin;
    line.end = begin;
    while (line.end < text.size() && !IsBreak(text[line.end])) ++line.end;
    line.next = line.end;
    if (line.next < text.size()) {
      const bool crlf =
          text[line.next] == '\r' && line.next + 1 < text.size() && text[line.next + 1] == '\n';
      line.next += crlf ? 2 : 1;
    }
    ParseLine(text, &line);
    lines.push_back(line);
    begin = line.next;
  }
  return lines;
}

bool HasContent(const Line& line) {
  return line.kind == LineKind::kKey || line.kind == LineKind::kText;
}

}  // namespace

template <typename Char>
Document<Char>::Document(View text) : text_(text), lines_(SplitLines(text)) {}

template <typename Char>
typename Document<Char>::View Document<Char>::NameOf(const Line& line) const {
  return text_.substr(line.name_begin, line.name_end - line.name_begin);
}

template <typename Char>
std::optional<size_t> Document<Char>::FindSection(View name, size_t from) const {
  for (size_t i = from; i < lines_.size(); ++i) {
    if (lines_[i].kind == LineKind::kSection && SameName(NameOf(lines_[i]), name)) return i;
  }
  return std::nullopt;
}

template <typename Char>
size_t Document<Char>::SectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != LineKind::kSection) ++i;
  return i;
}

// New lines end the way the file's first line does; a file without any gets CR LF.
template <typename Char>
typename Document<Char>::View Document<Char>::LineBreak() const {
  static constexpr Char kCrLf[] = {'\r', '\n'};
  for (const Line& line : lines_) {
    if (line.next > line.end) return text_.substr(line.end, line.next - line.end);
  }
  return View(kCrLf, 2);
}

template <typename Char>
std::optional<typename Document<Char>::View> Document<Char>::Find(View section, View key) const {
  key = TrimSpacesOf(key);
  if (key.empty()) return std::nullopt;
  const std::optional<size_t> header = FindSection(TrimSpacesOf(section), 0);
  if (!header) return std::nullopt;
  const size_t end = SectionEnd(*header);
  for (size_t i = *header + 1; i < end; ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::kKey && SameName(NameOf(line), key)) {
      return text_.substr(line.value_begin, line.value_end - line.value_begin);
    }
  }
  return std::nullopt;
}

template <typename Char>
std::vector<typename Document<Char>::View> Document<Char>::SectionNames() const {
  std::vector<View> names;
  for (const Line& line : lines_) {
    if (line.kind == LineKind::kSection && line.name_end > line.name_begin) {
      names.push_back(NameOf(line));
    }
  }
  return names;
}

template <typename Char>
std::vector<typename Document<Char>::View> Document<Char>::KeyNames(View section) const {
  std::vector<View> names;
  const std::optional<size_t> header = FindSection(TrimSpacesOf(section), 0);
  if (!header) return names;
  const size_t end = SectionEnd(*header);
  for (size_t i = *header + 1; i < end; ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::kKey && line.name_end > line.name_begin) {
      names.push_back(NameOf(line));
    }
  }
  return names;
}

template <typename Char>
typename Document<Char>::String Document<Char>::WithValue(View section, View key,
                                                          View value) const {
  static constexpr Char kEquals[] = {'='};
  const View equals(kEquals, 1);
  section = TrimSpacesOf(section);
  key = TrimSpacesOf(key);
  String out;
  out.reserve(text_.size() + section.size() + key.size() + value.size() + 8);
  const std::optional<size_t> header = FindSection(section, 0);
  if (!header) {
    static constexpr Char kOpen[] = {'['};
    static constexpr Char kClose[] = {']'};
    out.append(text_);
    if (!lines_.empty() && lines_.back().next == lines_.back().end) out.append(LineBreak());
    out.append(View(kOpen, 1)).append(section).append(View(kClose, 1)).append(LineBreak());
    return out.append(key).append(equals).append(value).append(LineBreak());
  }
  const size_t end = SectionEnd(*header);
  size_t last = *header;
  for (size_t i = *header + 1; i < end; ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::kKey && SameName(NameOf(line), key)) {
      // The line keeps its indentation and the key its stored case; only the value changes.
      out.append(text_.substr(0, line.name_end)).append(equals).append(value);
      return out.append(text_.substr(line.end));
    }
    if (HasContent(line)) last = i;
  }
  const Line& after = lines_[last];
  out.append(text_.substr(0, after.next));
  if (after.next == after.end) out.append(LineBreak());
  out.append(key).append(equals).append(value).append(LineBreak());
  return out.append(text_.substr(after.next));
}

template <typename Char>
std::optional<typename Document<Char>::String> Document<Char>::WithoutKey(View section,
                                                                          View key) const {
  key = TrimSpacesOf(key);
  const std::optional<size_t> header = FindSection(TrimSpacesOf(section), 0);
  if (!header) return std::nullopt;
  const size_t end = SectionEnd(*header);
  String out;
  size_t kept_from = 0;
  bool removed = false;
  for (size_t i = *header + 1; i < end; ++i) {
    const Line& line = lines_[i];
    if (line.kind != LineKind::kKey || !SameName(NameOf(line), key)) continue;
    out.append(text_.substr(kept_from, line.begin - kept_from));
    kept_from = line.next;
    removed = true;
  }
  if (!removed) return std::nullopt;
  return out.append(text_.substr(kept_from));
}

template <typename Char>
std::optional<typename Document<Char>::String> Document<Char>::WithoutSection(View section) const {
  section = TrimSpacesOf(section);
  String out;
  size_t kept_from = 0;
  bool inside = false;
  bool removed = false;
  for (const Line& line : lines_) {
    if (line.kind == LineKind::kSection) inside = SameName(NameOf(line), section);
    if (!inside || (line.kind != LineKind::kSection && !HasContent(line))) continue;
    out.append(text_.substr(kept_from, line.begin - kept_from));
    kept_from = line.next;
    removed = true;
  }
  if (!removed) return std::nullopt;
  return out.append(text_.substr(kept_from));
}

template class Document<char>;
template class Document<char16_t>;

}  // namespace tvx::profile
