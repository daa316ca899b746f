#include "platform/base/listing.h"

#include <algorithm>
#include <limits>

#include "platform/machine.h"

namespace tvx {
namespace {

constexpr uint8_t kDirectory = 1;
constexpr uint8_t kReadOnly = 2;
constexpr uint8_t kLink = 4;

uint8_t FlagsOf(const EntryInfo& info) {
  return (info.directory ? kDirectory : 0) | (info.readonly ? kReadOnly : 0) |
         (info.link ? kLink : 0);
}

}  // namespace

std::string_view Listing::Name(size_t index) const {
  const Record& record = records_[index];
  return std::string_view(names_).substr(record.offset, record.length);
}

EntryInfo Listing::At(size_t index) const {
  const Record& record = records_[index];
  EntryInfo info;
  info.name = Name(index);
  info.directory = (record.flags & kDirectory) != 0;
  info.readonly = (record.flags & kReadOnly) != 0;
  info.link = (record.flags & kLink) != 0;
  info.size = record.size;
  info.write_time = record.write_time;
  return info;
}

bool Listing::Add(const EntryInfo& info) {
  if (info.name.size() > std::numeric_limits<uint16_t>::max() ||
      names_.size() + info.name.size() > std::numeric_limits<uint32_t>::max()) {
    return false;
  }
  records_.push_back({static_cast<uint32_t>(names_.size()), static_cast<uint16_t>(info.name.size()),
                      FlagsOf(info), info.size, info.write_time});
  names_ += info.name;
  return true;
}

void Listing::Clear() {
  names_.clear();
  records_.clear();
}

void Listing::ShrinkToFit() {
  names_.shrink_to_fit();
  records_.shrink_to_fit();
}

void Listing::EraseIf(const std::function<bool(std::string_view name)>& drop) {
  std::erase_if(records_, [&](const Record& record) {
    return drop(std::string_view(names_).substr(record.offset, record.length));
  });
}

void Listing::Sort(const std::function<bool(std::string_view a, std::string_view b)>& before) {
  const std::string_view names = names_;
  std::sort(records_.begin(), records_.end(), [&](const Record& a, const Record& b) {
    return before(names.substr(a.offset, a.length), names.substr(b.offset, b.length));
  });
}

}  // namespace tvx
