// Test helper: a string table of the test's own for the test's lifetime.
#pragma once

#include <vector>

#include "platform/resources.h"

namespace tvx::testing {

/// Makes `rows` the running module's string table; an empty table again afterwards.
class ScopedStringTable {
 public:
  explicit ScopedStringTable(std::vector<StringResource> rows) : rows_(std::move(rows)) {
    RegisterStringTable(rows_.data(), rows_.size());
  }
  ~ScopedStringTable() { RegisterStringTable(nullptr, 0); }
  ScopedStringTable(const ScopedStringTable&) = delete;
  ScopedStringTable& operator=(const ScopedStringTable&) = delete;

 private:
  std::vector<StringResource> rows_;
};

}  // namespace tvx::testing
