#include "platform/host/name_index.h"

#include <algorithm>
#include <limits>

#include "platform/base/codepage.h"
#include "platform/host/names.h"

namespace tvx::host {

void NameIndex::Add(std::string_view host, std::string_view name, mode_t mode) {
  // Host names are at most 255 bytes, and their Windows forms no longer; a directory whose names
  // pass 4 GiB is beyond any file system, so such a name is simply not indexed and is looked up
  // as it is spelled.
  const bool same = host == name;
  const size_t bytes = name.size() + (same ? 0 : host.size());
  if (name.size() > 255 || host.size() > 255 ||
      names_.size() + bytes > std::numeric_limits<uint32_t>::max()) {
    return;
  }
  entries_.push_back({static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(mode),
                      static_cast<uint8_t>(name.size()),
                      static_cast<uint8_t>(same ? 0 : host.size())});
  names_ += name;
  if (!same) names_ += host;
}

void NameIndex::Seal() {
  std::sort(entries_.begin(), entries_.end(), [&](const Entry& a, const Entry& b) {
    const int order = cp1252::CompareIgnoringCase(NameOf(a), NameOf(b));
    return order != 0 ? order < 0 : HostOf(a) < HostOf(b);
  });
  entries_.shrink_to_fit();
  names_.shrink_to_fit();
}

bool NameIndex::Find(std::string_view upper, IndexEntry* out) const {
  const Entry* found = nullptr;
  bool ambiguous = false;
  for (auto it = LowerBound(upper);
       it != entries_.end() && cp1252::CompareIgnoringCase(NameOf(*it), upper) == 0; ++it) {
    if (it->removed) continue;
    if (found) {
      ambiguous = true;
      break;
    }
    found = &*it;
  }
  if (!found) return false;
  *out = IndexEntry{std::string(HostOf(*found)), found->mode, ambiguous};
  return true;
}

void NameIndex::Remove(std::string_view host) {
  std::string name;
  if (!WindowsName(host, &name)) return;
  const std::string upper = cp1252::Upper(name);
  for (auto it = LowerBound(upper);
       it != entries_.end() && cp1252::CompareIgnoringCase(NameOf(*it), upper) == 0; ++it) {
    if (HostOf(*it) != host) continue;
    auto& entry = entries_[static_cast<size_t>(it - entries_.begin())];
    entry.removed = true;
    entry.mode = 0;
  }
}

std::string_view NameIndex::NameOf(const Entry& entry) const {
  return std::string_view(names_).substr(entry.offset, entry.length);
}

std::string_view NameIndex::HostOf(const Entry& entry) const {
  if (entry.host_length == 0) return NameOf(entry);
  return std::string_view(names_).substr(entry.offset + entry.length, entry.host_length);
}

std::vector<NameIndex::Entry>::const_iterator NameIndex::LowerBound(std::string_view upper) const {
  return std::lower_bound(entries_.begin(), entries_.end(), upper,
                          [&](const Entry& entry, std::string_view key) {
                            return cp1252::CompareIgnoringCase(NameOf(entry), key) < 0;
                          });
}

}  // namespace tvx::host
