// The hive's lookups over its text. Loading only notes where each key line starts; a lookup
// compares key lines unit by unit as it decodes them and stops at the first difference, so a
// key costs one pass over the key lines, and only the sections of a key whose values are asked
// for are read (registry_parse.cpp reads their lines).
#include "platform/registry_format.h"

#include "platform/base/codepage.h"
#include "platform/registry_text.h"

namespace tvx::registry {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr int kDepthBits = 32;
constexpr Hive::KeyId kDepthMask = (Hive::KeyId{1} << kDepthBits) - 1;

bool SameFolded(std::u16string_view name, std::u16string_view folded) {
  return FoldName(name) == folded;
}

// FoldUnit with the common ASCII letters decided here, as every key line compared goes through it.
char16_t FoldFast(char16_t unit) {
  if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 0x20) : unit;
  return FoldUnit(unit);
}

// The line that starts at `start`, as the line reader gives it.
std::string_view LineAt(std::string_view text, size_t start) {
  text::LineReader reader(text.substr(start));
  std::string_view line;
  (void)reader.Next(&line);
  return line;
}

}  // namespace

Hive Hive::Parse(std::string file) {
  Hive hive;
  text::LineReader reader(file);
  std::string_view line;
  if (!reader.Next(&line) || line != kHeader) return hive;
  // Room for a key line in every 32 bytes, more than real files have, so that the list is not
  // copied as it grows; what it does not use is never touched.
  hive.sections_.reserve(file.size() / 32);
  // Only hex data goes on over continuation lines, and a continuation never starts with "[",
  // so every line that does (after blanks) is a key line.
  for (size_t start = reader.position(); reader.Next(&line); start = reader.position()) {
    const size_t pos = text::SkipSpace(line, 0);
    if (pos == line.size()) continue;
    if (line[pos] == '[') {
      hive.sections_.push_back(start);
    } else if (line[pos] == '#' && hive.sections_.empty() &&
               line.substr(pos).starts_with("#arch=")) {
      hive.win64_ = line.substr(pos + 6) == "win64";
    }
  }
  hive.text_ = std::move(file);
  return hive;
}

std::optional<std::vector<std::u16string>> Hive::KeyLineNames(size_t section, size_t most) const {
  const std::string_view line = LineAt(text_, sections_[section]);
  std::u16string path;
  if (!text::ReadString(line, text::SkipSpace(line, 0) + 1, ']', &path)) return std::nullopt;
  std::vector<std::u16string> names;
  for (std::u16string_view name : SplitPath(path)) {
    if (names.size() == most) break;
    names.push_back(FoldName(name));
  }
  return names;
}

bool Hive::KeyLineMatches(size_t section, const std::vector<std::u16string>& names,
                          bool exact) const {
  const std::string_view line = LineAt(text_, sections_[section]);
  text::EscapedText units(line, text::SkipSpace(line, 0) + 1, ']');
  size_t name = 0;  // the name of `names` being compared
  size_t unit = 0;  // and how much of it matched so far
  char16_t next = 0;
  while (units.Next(&next)) {
    // Past the last name only the line's end is looked for: whether it parses, and whether an
    // exact match names nothing more.
    if (name == names.size()) {
      if (exact && next != u'\\') return false;
    } else if (next == u'\\') {
      if (unit == 0) continue;
      if (unit != names[name].size()) return false;
      ++name;
      unit = 0;
    } else if (unit == names[name].size() || FoldFast(next) != names[name][unit++]) {
      return false;
    }
  }
  if (!units.closed()) return false;
  if (name < names.size() && unit > 0 && unit == names[name].size()) ++name;
  return name == names.size();
}

void Hive::ReadSectionValues(size_t section, Values* values) const {
  const size_t start = sections_[section];
  const size_t header_end = text_.find('\n', start);
  if (header_end == std::string::npos) return;
  const size_t end = section + 1 < sections_.size() ? sections_[section + 1] : text_.size();
  text::LineReader reader(std::string_view(text_).substr(header_end + 1, end - header_end - 1));
  std::string_view line;
  while (reader.Next(&line)) {
    const size_t pos = text::SkipSpace(line, 0);
    // Comments, key options (#time, #class, #link) and anything else are passed over.
    if (pos < line.size() && (line[pos] == '@' || line[pos] == '"')) {
      text::ReadValueLine(line, pos, &reader, values);
    }
  }
}

std::vector<std::u16string> Hive::NamesOf(KeyId key) const {
  if (key == kRoot) return {};
  return KeyLineNames(key >> kDepthBits, key & kDepthMask).value_or(std::vector<std::u16string>{});
}

std::optional<Hive::KeyId> Hive::Find(KeyId from, std::u16string_view path) const {
  std::vector<std::u16string> names = NamesOf(from);
  const size_t depth = names.size();
  for (std::u16string_view name : SplitPath(path)) names.push_back(FoldName(name));
  if (names.size() == depth) return from;
  if (names.size() > kDepthMask) return std::nullopt;
  // A key is named by the first key line at or below it, so that it has one number.
  for (size_t section = 0; section < sections_.size(); ++section) {
    if (KeyLineMatches(section, names, /*exact=*/false)) {
      return (static_cast<KeyId>(section) << kDepthBits) | names.size();
    }
  }
  return std::nullopt;
}

const Value* Hive::FindValue(KeyId key, std::u16string_view name) const {
  const auto [read, added] = values_.try_emplace(key);
  if (added) {
    const std::vector<std::u16string> names = NamesOf(key);
    for (size_t section = 0; section < sections_.size(); ++section) {
      if (KeyLineMatches(section, names, /*exact=*/true)) ReadSectionValues(section, &read->second);
    }
  }
  const auto value = read->second.find(FoldName(name));
  return value == read->second.end() ? nullptr : &value->second;
}

std::u16string RedirectFor32Bit(std::u16string_view path) {
  const std::vector<std::u16string_view> names = SplitPath(path);
  const bool software = !names.empty() && SameFolded(names[0], u"SOFTWARE");
  const bool redirected = names.size() > 1 && SameFolded(names[1], u"WOW6432NODE");
  std::u16string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out.push_back(u'\\');
    out.append(names[i]);
    if (i == 0 && software && !redirected) out.append(u"\\Wow6432Node");
  }
  return out;
}

char16_t FoldUnit(char16_t unit) {
  unsigned char byte = 0;
  if (!cp1252::FromUnicode(unit, &byte)) return unit;
  return cp1252::ToUnicode(cp1252::Upper(byte));
}

std::u16string FoldName(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& unit : out) unit = FoldUnit(unit);
  return out;
}

std::vector<std::u16string_view> SplitPath(std::u16string_view path) {
  std::vector<std::u16string_view> names;
  size_t begin = 0;
  while (begin <= path.size()) {
    size_t end = path.find(u'\\', begin);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > begin) names.push_back(path.substr(begin, end - begin));
    begin = end + 1;
  }
  return names;
}

}  // namespace tvx::registry
