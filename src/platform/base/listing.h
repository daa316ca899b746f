// A directory's entries as a machine lists them, packed for large directories: the names in one
// buffer and a small fixed record per entry. A million names cost about 32 MB this way, where a
// vector of EntryInfo, each with a string of its own, costs three times as much.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tvx {

struct EntryInfo;

class Listing {
 public:
  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  std::string_view Name(size_t index) const;
  EntryInfo At(size_t index) const;

  /// Appends an entry; false, and nothing added, when the names would pass 4 GiB.
  bool Add(const EntryInfo& info);
  void Clear();
  /// Gives back the room that growing left unused.
  void ShrinkToFit();
  /// Drops the entries whose names `drop` is true for, keeping the others in their order.
  void EraseIf(const std::function<bool(std::string_view name)>& drop);
  /// Orders the entries by name with `before`, a strict weak order.
  void Sort(const std::function<bool(std::string_view a, std::string_view b)>& before);

 private:
  struct Record {
    uint32_t offset;  // of the name in names_
    uint16_t length;
    uint8_t flags;
    uint64_t size;
    uint64_t write_time;
  };

  std::string names_;
  std::vector<Record> records_;
};

}  // namespace tvx
