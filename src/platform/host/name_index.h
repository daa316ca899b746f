// The names of one host directory by their upper-case Windows form, for lookups that ignore
// case. Packed, since a directory may hold a million names: the names in one buffer and a
// 12-byte record each, sorted once, found by binary search.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tvx::host {

/// What an index knows of a name: its host spelling and, when a listing saw it, its mode.
struct IndexEntry {
  std::string host;
  mode_t mode = 0;         // 0 when not known
  bool ambiguous = false;  // several host names differ only in case
};

class NameIndex {
 public:
  /// Adds a host name and its code page 1252 form; `mode` is 0 when not known. Find needs a
  /// Seal after the last Add.
  void Add(std::string_view host, std::string_view name, mode_t mode = 0);
  /// Orders the names for Find and gives back the room that growing left unused.
  void Seal();
  /// The entry whose upper-case name is `upper`; of several spellings, the smallest host name
  /// wins. False when there is none.
  bool Find(std::string_view upper, IndexEntry* out) const;
  /// Forgets a host name the directory no longer holds; `name` is its code page 1252 form in any
  /// case.
  void Remove(std::string_view name, std::string_view host);
  size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    uint32_t offset;       // of the Windows name in names_; the host name follows when it differs
    uint32_t mode;         // of the entry, 0 when not known or removed
    uint8_t length;        // of the Windows name
    uint8_t host_length;   // of the host name when it differs from the Windows name, else 0
    bool removed = false;  // gone from the directory
  };

  std::string_view NameOf(const Entry& entry) const;
  std::string_view HostOf(const Entry& entry) const;
  /// The entries whose upper-case name is `upper`, removed ones included.
  std::pair<size_t, size_t> EqualRange(std::string_view upper) const;

  std::string names_;
  std::vector<Entry> entries_;
};

}  // namespace tvx::host
