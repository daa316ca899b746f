#include "platform/host/name_index.h"

#include <algorithm>
#include <limits>
#include <type_traits>

#include "platform/base/codepage.h"

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
  const auto [first, last] = EqualRange(upper);
  for (size_t i = first; i < last && !ambiguous; ++i) {
    if (entries_[i].removed) continue;
    ambiguous = found != nullptr;
    if (!found) found = &entries_[i];
  }
  if (!found) return false;
  *out = IndexEntry{std::string(HostOf(*found)), found->mode, ambiguous};
  return true;
}

void NameIndex::Remove(std::string_view name, std::string_view host) {
  const auto [first, last] = EqualRange(cp1252::Upper(name));
  for (size_t i = first; i < last; ++i) {
    if (HostOf(entries_[i]) != host) continue;
    entries_[i].removed = true;
    entries_[i].mode = 0;
  }
}

std::string_view NameIndex::NameOf(const Entry& entry) const {
  return std::string_view(names_).substr(entry.offset, entry.length);
}

std::string_view NameIndex::HostOf(const Entry& entry) const {
  if (entry.host_length == 0) return NameOf(entry);
  return std::string_view(names_).substr(entry.offset + entry.length, entry.host_length);
}

std::pair<size_t, size_t> NameIndex::EqualRange(std::string_view upper) const {
  // The search compares entries with the key both ways round.
  const auto name = [&](const auto& side) -> std::string_view {
    if constexpr (std::is_same_v<std::decay_t<decltype(side)>, Entry>) {
      return NameOf(side);
    } else {
      return side;
    }
  };
  const auto range =
      std::equal_range(entries_.begin(), entries_.end(), upper, [&](const auto& a, const auto& b) {
        return cp1252::CompareIgnoringCase(name(a), name(b)) < 0;
      });
  return {static_cast<size_t>(range.first - entries_.begin()),
          static_cast<size_t>(range.second - entries_.begin())};
}

}  // namespace tvx::host
