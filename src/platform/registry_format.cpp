// The hive's tree and its lookups; registry_parse.cpp reads the file into it.
#include "platform/registry_format.h"

#include "platform/base/codepage.h"

namespace tvx::registry {
namespace {

bool SameFolded(std::u16string_view name, std::u16string_view folded) {
  return FoldName(name) == folded;
}

}  // namespace

Hive::Hive() : nodes_(1) {}

std::optional<Hive::KeyId> Hive::Find(KeyId from, std::u16string_view path) const {
  KeyId key = from;
  for (std::u16string_view name : SplitPath(path)) {
    const auto& children = nodes_[key].children;
    const auto child = children.find(FoldName(name));
    if (child == children.end()) return std::nullopt;
    key = child->second;
  }
  return key;
}

const Value* Hive::FindValue(KeyId key, std::u16string_view name) const {
  const auto& values = nodes_[key].values;
  const auto value = values.find(FoldName(name));
  return value == values.end() ? nullptr : &value->second;
}

Hive::KeyId Hive::AddKey(std::u16string_view path) {
  KeyId key = kRoot;
  for (std::u16string_view name : SplitPath(path)) {
    const auto [child, added] =
        nodes_[key].children.try_emplace(FoldName(name), static_cast<KeyId>(nodes_.size()));
    const KeyId next = child->second;
    if (added) nodes_.emplace_back();
    key = next;
  }
  return key;
}

void Hive::SetValue(KeyId key, std::u16string_view name, Value value) {
  nodes_[key].values.insert_or_assign(FoldName(name), std::move(value));
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

std::u16string FoldName(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& unit : out) {
    unsigned char byte = 0;
    if (cp1252::FromUnicode(unit, &byte)) unit = cp1252::ToUnicode(cp1252::Upper(byte));
  }
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
